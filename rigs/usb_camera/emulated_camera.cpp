// Options, simulated camera and final-state dump of the emulated USB camera.
#include "rigs/usb_camera/emulated_camera.h"

#include <cstdio>
#include <fstream>
#include <thread>

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
      Count("--erase-answer-delay", 60000,
            [](EmulatedCameraOptions& o) { return &o.eraseAnswerDelayMs; }),
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

// Simulator options that mean nothing on a USB device: when it plugs in, how it answers a
// Windows node probe, how a failed request is answered (always a stall here), and the run
// options of the simulator program.
constexpr const char* kForeignSimOptions[] = {"--attach", "--probe-result", "--fail-result",
                                              "--image",  "--fast",         "--diagnostics"};

bool IsForeignSimOption(const std::string& word) {
  const std::string name = word.substr(0, word.find('='));
  for (const char* foreign : kForeignSimOptions) {
    if (name == foreign) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::string EmulatedCameraUsage() {
  return "usage: velkor-usb-camera [options]\n"
         "  --model velkor|other     the camera under update (default) or another maker's\n"
         "  --port N                 vhci_hcd port to attach to (0-7, default 0)\n"
         "  --attach-delay MS        wait before plugging in\n"
         "  --erase-ms MS            chip-erase time of the simulated flash (default 200)\n"
         "  --status-write-ms MS     status-register write time (default 15)\n"
         "  --erase-answer-delay MS  answer a controller erase request this late, the erase\n"
         "                           running on meanwhile (default 0: once the erase is done)\n"
         "  --stall-set N            stall the N-th SET_CUR on the extension unit\n"
         "  --unplug-at-set N        pull the device when the N-th SET_CUR arrives\n"
         "  --probe-delay MS         answer the driver's first streaming probe this late\n"
         "  --state-dir DIR          where state.txt, requests.txt and flash.bin go\n"
         "  --ready-file FILE        created once the device is attached\n"
         "  --vhci DIR               vhci_hcd's sysfs directory\n"
         "The simulator's camera options (--chip-row, --chip-version, --flash-kind, --wp-pin,\n"
         "--wp-wiring, --busy-polls, --probe-bits, --corrupt-readback, --memory-read-count,\n"
         "--busy-forever, --done-never, --fail-writes-from), request faults (--fail-request N\n"
         "and --fail-selector S stall unit requests; --unplug-after N pulls the device at the\n"
         "request after the N-th) and --camera-state FILE [--replugged] (start from FILE when\n"
         "it exists, save the state to it when serving ends) are taken as velkor-update-sim\n"
         "takes them.\n"
         "Serves until SIGTERM or SIGINT, or until the host drops the device; then dumps.\n";
}

EmulatedCameraOptionsResult ParseEmulatedCameraOptions(const std::vector<std::string>& args) {
  EmulatedCameraOptionsResult result;
  cli::TableRules<EmulatedCameraOptions> rules(OptionTable(), result.options);
  std::vector<std::string> simArgs;
  for (std::size_t i = 0; i < args.size(); ++i) {
    switch (cli::TakeOption(args, &i, rules, &result.error)) {
      case cli::Took::kTaken:
        continue;
      case cli::Took::kRefused:
        return result;
      case cli::Took::kNoRule:
        break;
    }
    if (IsForeignSimOption(args[i])) {
      result.error = args[i].substr(0, args[i].find('=')) + " is no option of the USB camera";
      return result;
    }
    simArgs.push_back(args[i]);
  }
  sim::SimOptionsResult sim = sim::ParseSimOptions(simArgs);
  if (!sim.ok) {
    result.error = sim.error;
    return result;
  }
  result.options.sim = std::move(sim.options);
  result.ok = true;
  return result;
}

sim::SimCameraConfig RigCameraConfig(std::uint32_t eraseMs, std::uint32_t statusWriteMs) {
  sim::SimCameraConfig config = sim::DefaultSimFrontendOptions().camera;
  config.chipEraseMs = eraseMs;
  config.statusWriteMs = statusWriteMs;
  return config;
}

sim::SimCameraConfig CameraConfigOf(const EmulatedCameraOptions& options) {
  sim::SimCameraConfig config = options.sim.camera;
  config.chipEraseMs = options.eraseMs;
  config.statusWriteMs = options.statusWriteMs;
  config.controllerAwaitsErase = options.eraseAnswerDelayMs == 0;
  return config;
}

SimulatedUnit::SimulatedUnit(const sim::SimCameraConfig& config, sim::SimRequestFaults faults,
                             std::uint32_t eraseAnswerDelayMs)
    : camera_(std::make_unique<sim::SimCamera>(config, clock_)),
      faults_(std::move(faults)),
      eraseAnswerDelayMs_(eraseAnswerDelayMs),
      initialFlash_(camera_->flash().content()),
      start_(std::chrono::steady_clock::now()) {}

bool SimulatedUnit::LoadState(const sim::SimCameraState& state, bool replugged,
                              std::string* error) {
  if (!camera_->LoadState(state, error)) {
    return false;
  }
  if (replugged) {
    camera_->Replug();
  }
  initialFlash_ = camera_->flash().content();
  return true;
}

bool SimulatedUnit::Lost(std::uint32_t number, std::uint8_t selector) const {
  const std::uint32_t first = faults_.failRequestNumber;
  return (first != 0 && number >= first && number - first < faults_.failRequestRun) ||
         (faults_.failSelector >= 0 && selector == faults_.failSelector);
}

UnitAnswer SimulatedUnit::operator()(std::uint8_t selector, bool set, std::uint8_t* payload,
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
  const std::uint32_t number = ++requests_;
  if (faults_.unplugAfterRequests != 0 && number > faults_.unplugAfterRequests) {
    return UnitAnswer::kUnplug;
  }
  if (Lost(number, selector)) {
    return UnitAnswer::kStall;  // lost on the way: the camera never sees it
  }
  const std::uint32_t erasesBefore = camera_->controllerEraseRequests();
  const bool done = camera_->HandleRequest(selector, set ? kFlagsSet : kFlagsGet, payload, size,
                                           number) == hr::kOk;
  if (eraseAnswerDelayMs_ != 0 && camera_->controllerEraseRequests() != erasesBefore) {
    // The erase runs on the virtual clock, which catches up with the real one at the next
    // request; the answer waits here, so a host whose control timeout is shorter gives up
    // while the flash is still erasing.
    ++delayedEraseAnswers_;
    std::this_thread::sleep_for(std::chrono::milliseconds(eraseAnswerDelayMs_));
  }
  return done ? UnitAnswer::kDone : UnitAnswer::kStall;
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
    state << "erase_answers_delayed=" << unit->delayedEraseAnswers() << "\n";
    state << "unit_requests=" << unit->requests() << "\n";
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
