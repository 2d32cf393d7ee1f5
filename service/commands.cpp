// list, identify, read, verify and write.
#include "service/commands.h"

#include <cstdio>

#include "platform/ports.h"
#include "service/camera_catalog.h"
#include "service/exit_codes.h"
#include "service/flash_progress.h"
#include "service/image_file.h"
#include "service/interrupt_state.h"
#include "service/write_sequence.h"
#include "update/flash_compare.h"

namespace velkor::tool {

namespace {

using Json = nlohmann::json;

std::string Hex4(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%04X", static_cast<unsigned>(value));
  return text;
}

// Finds the device the command works on, or ends the command with exit code 3.
const DeviceEntry* FindDevice(CommandContext& c, const std::vector<DeviceEntry>& devices) {
  bool ambiguous = false;
  const DeviceEntry* device = ChooseDevice(devices, c.options.device, &ambiguous);
  if (device != nullptr) {
    return device;
  }
  std::string message = "no camera found";
  if (ambiguous) {
    message = "--device \"" + c.options.device + "\" matches more than one device; give more";
  } else if (!c.options.device.empty()) {
    message = "no device matches --device \"" + c.options.device + "\"";
  }
  c.report.Summary(Json::object(), kExitNoCamera, message);
  return nullptr;
}

// Takes the camera's lock for the rest of the tool's run, so that no updater or second tool
// interleaves its requests with ours. When another program holds it, ends the command with exit
// code 4, naming that program where the system tells it.
bool Locked(CommandContext& c, const DeviceEntry& device) {
  CameraLock* lock = CurrentPorts().cameraLock;
  if (lock == nullptr) {
    return true;
  }
  std::string holder;
  if (lock->Acquire(device.widePath, &holder) != LockOutcome::kBusy) {
    return true;  // taken, or no place for a lock at all: nothing seen of another program
  }
  const std::string who = holder.empty() ? "another program" : holder;
  c.report.Finished("open", false, "the camera is in use by " + who);
  c.report.Summary(
      {{"device", DeviceJson(device)}, {"holder", holder.empty() ? Json(nullptr) : Json(holder)}},
      kExitCameraFailed, "the camera at " + device.path + " is in use by " + who);
  return false;
}

// Opens the chosen device; on failure ends the command with exit code 4.
bool Opened(CommandContext& c, const DeviceEntry& device, const OpenCamera& camera) {
  if (camera.opened()) {
    c.report.Finished("open", true, "opened " + device.path);
    return true;
  }
  c.report.Finished("open", false, "the camera could not be opened or identified");
  c.report.Summary({{"device", DeviceJson(device)}}, kExitCameraFailed,
                   "the camera at " + device.path + " could not be opened");
  return false;
}

}  // namespace

int RunList(CommandContext& c) {
  c.report.Started("enumerate", "listing capture devices");
  const std::vector<DeviceEntry> devices = EnumerateDevices();
  c.report.Finished("enumerate", true, std::to_string(devices.size()) + " capture devices");
  Json list = Json::array();
  for (const DeviceEntry& device : devices) {
    Json entry = DeviceJson(device);
    entry["chip"] = nullptr;
    std::optional<ChipInfo> chip;
    if (device.ours) {
      // A camera another program holds is listed without its chip: opening it would interleave
      // our requests with that program's.
      CameraLock* lock = CurrentPorts().cameraLock;
      std::string holder;
      const bool busy =
          lock != nullptr && lock->Acquire(device.widePath, &holder) == LockOutcome::kBusy;
      if (!busy) {
        OpenCamera camera(device);
        if (camera.opened()) {
          chip = camera.Chip();
          entry["chip"] = ChipJson(*chip);
        }
      }
      if (lock != nullptr && !busy) {
        lock->Release();
      }
    }
    for (const std::string& line : DeviceLines(device, chip ? &*chip : nullptr)) {
      c.report.Text(line);
    }
    list.push_back(entry);
  }
  if (devices.empty()) {
    c.report.Text("no capture devices found");
  }
  int ours = 0;
  for (const DeviceEntry& device : devices) {
    ours += device.ours ? 1 : 0;
  }
  c.report.Summary({{"devices", list}}, kExitDone,
                   std::to_string(devices.size()) + " capture devices, " + std::to_string(ours) +
                       " of them our camera");
  return kExitDone;
}

int RunIdentify(CommandContext& c) {
  const std::vector<DeviceEntry> devices = EnumerateDevices();
  const DeviceEntry* device = FindDevice(c, devices);
  if (device == nullptr) {
    return kExitNoCamera;
  }
  c.report.Started("open", "opening " + device->path);
  if (!Locked(c, *device)) {
    return kExitCameraFailed;
  }
  OpenCamera camera(*device);
  if (!Opened(c, *device, camera)) {
    return kExitCameraFailed;
  }
  const ChipInfo chip = camera.Chip();
  const ProtectionInfo protection = camera.Protection();
  camera.Close();
  for (const std::string& line : DeviceLines(*device, &chip)) {
    c.report.Text(line);
  }
  for (const std::string& line : ProtectionLines(protection)) {
    c.report.Text(line);
  }
  Json entry = DeviceJson(*device);
  entry["chip"] = ChipJson(chip);
  entry["protection"] = ProtectionJson(protection);
  if (!protection.status || !protection.configByte) {
    c.report.Summary({{"device", entry}}, kExitCameraFailed,
                     "the camera did not answer every read of its protection state");
    return kExitCameraFailed;
  }
  c.report.Summary({{"device", entry}}, kExitDone, "identified " + chip.id + " at " + device->path);
  return kExitDone;
}

// What read and verify share: find the camera, open it, read the whole flash, close it.
struct FlashReadBack {
  std::vector<DeviceEntry> devices;
  const DeviceEntry* device = nullptr;
  std::vector<std::uint8_t> flash;
  bool read = false;
};

// Returns kExitDone once the read was tried (out->read tells how it went), or the exit code to
// end with when there was no camera to read or it could not be opened.
int ReadCameraFlash(CommandContext& c, const char* step, const char* startText,
                    FlashReadBack* out) {
  out->devices = EnumerateDevices();
  out->device = FindDevice(c, out->devices);
  if (out->device == nullptr) {
    return kExitNoCamera;
  }
  c.report.Started("open", "opening " + out->device->path);
  if (!Locked(c, *out->device)) {
    return kExitCameraFailed;
  }
  OpenCamera camera(*out->device);
  if (!Opened(c, *out->device, camera)) {
    return kExitCameraFailed;
  }
  c.report.Started(step, startText);
  out->read = ReadWholeFlash(&out->flash, c.tap, c.report, step);
  camera.Close();
  return kExitDone;
}

int RunRead(CommandContext& c) {
  FlashReadBack back;
  if (const int code = ReadCameraFlash(c, "read", "reading 65,536 bytes", &back);
      code != kExitDone) {
    return code;
  }
  const Json details = {{"device", DeviceJson(*back.device)}, {"file", c.options.file}};
  if (!back.read) {
    c.report.Finished("read", false, "a read request failed");
    c.report.Summary(details, kExitCameraFailed, "the flash could not be read; no file written");
    return kExitCameraFailed;
  }
  c.report.Finished("read", true, "65,536 bytes read");
  std::string error;
  if (!SaveFileAtomically(c.options.file, back.flash, &error)) {
    c.report.Summary(details, kExitUsage, error);
    return kExitUsage;
  }
  c.report.Summary(details, kExitDone, "flash saved to " + c.options.file);
  return kExitDone;
}

int RunVerify(CommandContext& c) {
  std::vector<std::uint8_t> image;
  std::string error;
  if (!LoadImageFile(c.options.file, &image, &error)) {
    c.report.Summary({{"file", c.options.file}}, kExitUsage, error);
    return kExitUsage;
  }
  FlashReadBack back;
  if (const int code = ReadCameraFlash(c, "verify", "reading the flash and comparing", &back);
      code != kExitDone) {
    return code;
  }
  Json details = {{"device", DeviceJson(*back.device)}, {"file", c.options.file}};
  if (!back.read) {
    c.report.Finished("verify", false, "a read request failed");
    c.report.Summary(details, kExitCameraFailed, "the flash could not be read");
    return kExitCameraFailed;
  }
  const update::Comparison comparison = update::Compare(back.flash, image);
  details["equal"] = comparison.equal;
  details["differing_bytes"] = comparison.differingBytes;
  details["first_difference"] = comparison.equal ? Json(nullptr) : Json(comparison.firstDifference);
  if (comparison.equal) {
    c.report.Finished("verify", true, "equal");
    c.report.Summary(details, kExitDone, "the flash equals " + c.options.file);
    return kExitDone;
  }
  const std::string message = "the flash differs from " + c.options.file + ": first at " +
                              Hex4(comparison.firstDifference) + ", " +
                              std::to_string(comparison.differingBytes) + " bytes differ";
  c.report.Finished("verify", true, "compared");
  c.report.Summary(details, kExitCheckFailed, message);
  return kExitCheckFailed;
}

int RunWrite(CommandContext& c) {
  WriteRequest request;
  std::string error;
  // The image is checked before the camera is touched at all.
  if (!LoadImageFile(c.options.file, &request.image, &error)) {
    c.report.Summary({{"file", c.options.file}, {"written", false}}, kExitUsage,
                     error + "; nothing written");
    return kExitUsage;
  }
  request.backupFile = c.options.backupFile;
  const std::vector<DeviceEntry> devices = EnumerateDevices();
  request.device = FindDevice(c, devices);
  if (request.device == nullptr) {
    return kExitNoCamera;
  }
  if (!Locked(c, *request.device)) {
    return kExitCameraFailed;
  }
  WriteOutcome outcome;
  {
    WriteInProgress guard;
    outcome = RunWrite(request, c.clock, c.tap, c.report);
  }
  outcome.fields["file"] = c.options.file;
  const bool interrupted = Interrupts().interrupted.load();
  outcome.fields["interrupted"] = interrupted;
  int code = outcome.exitCode;
  std::string message = outcome.statusText;
  if (interrupted) {
    message += " (interrupted: the write was completed first)";
    if (code == kExitDone) {
      code = kExitInterrupted;
    }
  }
  // The station records how many requests each camera's update took.
  outcome.fields["requests"] = c.tap.count();
  c.report.Summary(outcome.fields, code, message);
  return code;
}

}  // namespace velkor::tool
