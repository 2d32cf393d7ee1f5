// The fake camera DLL: its entry points, the process's rig, the registrations that follow the
// rig's presence schedule, the device-tree calls that the cfgmgr32 stand-in forwards here, and
// the reports and the camera's state file written when the DLL is unloaded.
#include "rigs/fake_camera/win32/fake_camera_module.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>

#include "rigs/fake_camera/win32/capture_filter.h"
#include "rigs/fake_camera/win32/registrations.h"

namespace velkor::fakecam {

const CLSID kFakeCameraClsid = {
    0x3F9A2C61, 0x7B4E, 0x4D1A, {0x9C, 0x52, 0x6E, 0x0B, 0x81, 0xD4, 0xA7, 0xF3}};

namespace {

class SteadyClock : public Clock {
 public:
  void SleepMs(std::uint32_t milliseconds) override { Sleep(milliseconds); }
  std::uint64_t NowMs() override {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
  }
};

HMODULE module = nullptr;

// Built once and never destroyed: threads may still call in while the process ends.
std::once_flag rigCreated;
FakeCameraRig* rig = nullptr;
std::string configError;

std::mutex syncMutex;
std::vector<bool> registeredPresence;

std::wstring ModulePath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  return path;
}

// The configuration: the file named by VELKOR_FAKE_CAMERA_CONFIG, else fake-camera.ini in the
// current directory, then the options in VELKOR_FAKE_CAMERA_OPTIONS; defaults without any.
FakeCameraConfig ReadConfig() {
  const char* named = std::getenv("VELKOR_FAKE_CAMERA_CONFIG");
  std::ifstream file(named != nullptr && *named != '\0' ? named : "fake-camera.ini");
  std::ostringstream text;
  if (file) {
    text << file.rdbuf();
  }
  if (const char* options = std::getenv("VELKOR_FAKE_CAMERA_OPTIONS")) {
    text << '\n' << options;
  }
  FakeCameraConfigResult parsed = ParseFakeCameraConfig(text.str());
  if (!parsed.ok) {
    // The run goes on without a camera, and the state file says why.
    configError = parsed.error;
    parsed.config = FakeCameraConfig{};
    parsed.config.sim.attachAtMs = sim::kNeverAttached;
  }
  return parsed.config;
}

void CreateRig() {
  static SteadyClock clock;
  rig = new FakeCameraRig(ReadConfig(), clock);
  RegisterFilterClass(kFakeCameraClsid, ModulePath());
}

std::string StatePath() {
  return rig->config().stateFile;
}

// The file next to the state file with another ending: state.txt -> state-<what>.
std::string CompanionPath(const std::string& what) {
  std::string path = StatePath();
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.find_last_of("/\\");
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    path.resize(dot);
  }
  return path + "-" + what;
}

void WriteFile(const std::string& path, const void* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// At unload. Threads that ExitProcess ended may have died inside the rig, holding its lock:
// then nothing is written rather than waiting for ever.
void WriteReports() {
  if (rig == nullptr) {
    return;
  }
  FakeCameraRig::Reports reports;
  if (!rig->CollectReports(&reports)) {
    const std::string note = "reports=unavailable (a request was in progress at exit)\n";
    WriteFile(StatePath(), note.data(), note.size());
    return;
  }
  std::string state = configError.empty() ? "" : "config_error=" + configError + "\n";
  state += reports.state;
  state += ObjectCounts();
  WriteFile(StatePath(), state.data(), state.size());
  WriteFile(CompanionPath("flash.bin"), reports.flash.data(), reports.flash.size());
  WriteFile(CompanionPath("ks.txt"), reports.ks.data(), reports.ks.size());
  WriteFile(CompanionPath("sim.txt"), reports.sim.data(), reports.sim.size());
  // The state for the next run to start from (--camera-state); a failure is noted beside the
  // reports, since nobody reads stderr at unload.
  std::string error;
  if (!rig->SaveCameraState(&error)) {
    const std::string note = "camera_state_saved=0 (" + error + ")\n";
    std::ofstream(StatePath(), std::ios::app) << note;
  }
}

}  // namespace

FakeCameraRig& Rig() {
  std::call_once(rigCreated, CreateRig);
  return *rig;
}

void SyncRegistrations() {
  FakeCameraRig& current = Rig();
  std::vector<bool> presence = current.Presence();
  std::lock_guard lock(syncMutex);
  if (presence == registeredPresence) {
    return;
  }
  WriteDeviceRegistrations(kFakeCameraClsid, current.CaptureDevices());
  registeredPresence = std::move(presence);
}

}  // namespace velkor::fakecam

using velkor::fakecam::Rig;
using velkor::fakecam::SyncRegistrations;

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    velkor::fakecam::module = instance;
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    velkor::fakecam::WriteReports();
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  *out = nullptr;
  if (clsid != velkor::fakecam::kFakeCameraClsid) {
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  IClassFactory* factory = velkor::fakecam::NewFilterFactory();
  const HRESULT result = factory->QueryInterface(iid, out);
  factory->Release();
  return result;
}

// The rig lives until the process ends; the DLL stays loaded.
STDAPI DllCanUnloadNow() {
  return S_FALSE;
}

// The machine's device tree, for the cfgmgr32 stand-in. A walk begins at the root: the
// registrations follow the camera's presence before the program can enumerate.
int VelkorFakeCameraLocateRoot(velkor::DeviceNode* out) {
  const int result = Rig().LocateRoot(out);
  SyncRegistrations();
  return result;
}

int VelkorFakeCameraGetChild(velkor::DeviceNode* out, velkor::DeviceNode node) {
  return Rig().GetChild(out, node);
}

int VelkorFakeCameraGetSibling(velkor::DeviceNode* out, velkor::DeviceNode node) {
  return Rig().GetSibling(out, node);
}

int VelkorFakeCameraGetParent(velkor::DeviceNode* out, velkor::DeviceNode node) {
  return Rig().GetParent(out, node);
}

int VelkorFakeCameraGetProperty(velkor::DeviceNode node, int property, char* buffer,
                                std::uint32_t* length) {
  return Rig().GetProperty(node, property, buffer, length);
}

}  // extern "C"
