// Options, simulated camera and final-state dump of the emulated USB camera.
#include "rigs/usb_camera/emulated_camera.h"

#include <cstdio>
#include <fstream>

#include "cli/option_reader.h"
#include "rigs/sim_frontend/sim_options.h"

namespace velkor::usbcam {
namespace {

constexpr std::uint32_t kFlagsSet = 0x10000002;
constexpr std::uint32_t kFlagsGet = 0x10000001;

using OptionRule = cli::OptionRule<EmulatedCameraOptions>;

// An option whose value is a count from 0 to max.
template <typename Field>
OptionRule Count(const char* name, std::uint64_t max, Field field) {
  return cli::Number<EmulatedCameraOptions>(name, 0, max, field);
}

const std::vector<OptionRule>& OptionTable() {
  static const std::vector<OptionRule> rules = {
      cli::Flag("-h|--help", &EmulatedCameraOptions::help),
      {"--model", true,
       [](EmulatedCameraOptions& o, const std::string& v) {
         if (v != "velkor" && v != "other") {
           return "--model: expected \"velkor\" or \"other\", got \"" + v + "\"";
         }
         o.otherMaker = v == "other";
         return std::string();
       }},
      Count("--port", 7, [](EmulatedCameraOptions& o) { return &o.port; }),
      Count("--attach-delay", 600000, [](EmulatedCameraOptions& o) { return &o.attachDelayMs; }),
      Count("--erase-ms", 60000, [](EmulatedCameraOptions& o) { return &o.eraseMs; }),
      Count("--status-write-ms", 60000, [](EmulatedCameraOptions& o) { return &o.statusWriteMs; }),
      Count("--stall-set", UINT32_MAX,
            [](EmulatedCameraOptions& o) { return &o.faults.stallSetCur; }),
      Count("--unplug-at-set", UINT32_MAX,
            [](EmulatedCameraOptions& o) { return &o.faults.unplugAtSetCur; }),
      Count("--probe-delay", 4000,
            [](EmulatedCameraOptions& o) { return &o.faults.firstProbeDelayMs; }),
      cli::Text("--state-dir", &EmulatedCameraOptions::stateDir),
      cli::Text("--ready-file", &EmulatedCameraOptions::readyFile),
      cli::Text("--vhci", &EmulatedCameraOptions::vhciDir),
  };
  return rules;
}

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%0*x", digits, value);
  return text;
}

}  // namespace

std::string EmulatedCameraUsage() {
  return "usage: velkor-usb-camera [options]\n"
         "  --model velkor|other     the camera under update (default) or another maker's\n"
         "  --port N                 vhci_hcd port to attach to (0-7, default 0)\n"
         "  --attach-delay MS        wait before plugging in\n"
         "  --erase-ms MS            chip-erase time of the simulated flash (default 200)\n"
         "  --status-write-ms MS     status-register write time (default 15)\n"
         "  --stall-set N            stall the N-th SET_CUR on the extension unit\n"
         "  --unplug-at-set N        pull the device when the N-th SET_CUR arrives\n"
         "  --probe-delay MS         answer the driver's first streaming probe this late\n"
         "  --state-dir DIR          where state.txt, requests.txt and flash.bin go\n"
         "  --ready-file FILE        created once the device is attached\n"
         "  --vhci DIR               vhci_hcd's sysfs directory\n"
         "Serves until SIGTERM or SIGINT, or until the host drops the device; then dumps.\n";
}

EmulatedCameraOptionsResult ParseEmulatedCameraOptions(const std::vector<std::string>& args) {
  EmulatedCameraOptionsResult result;
  result.error = cli::ReadOptions(args, OptionTable(), result.options).error;
  result.ok = result.error.empty();
  return result;
}

sim::SimCameraConfig RigCameraConfig(std::uint32_t eraseMs, std::uint32_t statusWriteMs) {
  sim::SimCameraConfig config = sim::DefaultSimFrontendOptions().camera;
  config.chipEraseMs = eraseMs;
  config.statusWriteMs = statusWriteMs;
  return config;
}

SimulatedUnit::SimulatedUnit(const sim::SimCameraConfig& config)
    : camera_(std::make_unique<sim::SimCamera>(config, clock_)),
      initialFlash_(camera_->flash().content()),
      start_(std::chrono::steady_clock::now()) {}

bool SimulatedUnit::operator()(std::uint8_t selector, bool set, std::uint8_t* payload,
                               std::uint16_t size) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start_)
                           .count();
  const auto now = static_cast<std::uint64_t>(elapsed);
  if (now > clock_.NowMs()) {
    clock_.Advance(now - clock_.NowMs());
  }
  if (!served_) {
    served_ = true;
    firstRequestMs_ = now;
  }
  lastRequestMs_ = now;
  return camera_->HandleRequest(selector, set ? kFlagsSet : kFlagsGet, payload, size) == hr::kOk;
}

bool DumpState(const std::string& dir, const ControlEndpoint& endpoint, const SimulatedUnit* unit,
               const std::string& serveEnd) {
  const sim::SimCamera* camera = unit != nullptr ? &unit->camera() : nullptr;
  std::ofstream state(dir + "/state.txt");
  state << "end=" << serveEnd << "\n";
  state << "vendor=" << Hex(endpoint.model().vendorId, 4) << "\n";
  state << "configuration=" << static_cast<int>(endpoint.configuration()) << "\n";
  state << "requests=" << endpoint.record().size() << "\n";
  state << "extension_requests=" << endpoint.extensionRequestCount() << "\n";
  state << "set_cur=" << endpoint.extensionSetCurCount() << "\n";
  if (camera != nullptr) {
    state << "first_request_ms=" << unit->firstRequestMs() << "\n";
    state << "last_request_ms=" << unit->lastRequestMs() << "\n";
    const std::uint8_t status = camera->flash().Status();
    state << "flash_status=" << Hex(status, 2) << "\n";
    state << "block_protect=" << (camera->flash().BlockProtected() ? 1 : 0) << "\n";
    state << "status_write_protect=" << ((status & sim::SimFlash::kStatusSrwd) != 0 ? 1 : 0)
          << "\n";
    state << "wp_pin_low=" << (camera->WriteProtectActive() ? 1 : 0) << "\n";
    for (std::uint16_t reg : {0x1006, 0x1007, 0x1080, 0x1091, 0x05F3, 0x05F5, 0x05F8, 0x05FB}) {
      state << "reg_" << Hex(reg, 4).substr(2) << "=" << Hex(camera->Register(reg), 2) << "\n";
    }
    state << "register_writes=" << camera->registerWrites().size() << "\n";
    state << "controller_erases=" << camera->controllerEraseRequests() << "\n";
    state << "flash_changed=" << (unit->FlashChanged() ? 1 : 0) << "\n";
    // What the host did that a real camera would mishandle; the judge wants none.
    state << "violations=" << camera->violations().size() << "\n";
    std::ofstream violations(dir + "/violations.txt");
    for (const sim::SimViolation& violation : camera->violations()) {
      violations << violation.Text() << "\n";
    }
    std::ofstream flash(dir + "/flash.bin", std::ios::binary);
    const auto& content = camera->flash().content();
    flash.write(reinterpret_cast<const char*>(content.data()),
                static_cast<std::streamsize>(content.size()));
    if (!flash) {
      return false;
    }
  }
  std::ofstream requests(dir + "/requests.txt");
  for (const RecordedSetup& entry : endpoint.record()) {
    requests << FormatRecordLine(entry) << "\n";
  }
  return static_cast<bool>(state) && static_cast<bool>(requests);
}

}  // namespace velkor::usbcam
