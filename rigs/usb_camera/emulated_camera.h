// The simulated camera behind the emulated USB device: the options of the device tool, the
// camera it plays, the extension-unit handler that hands requests to the simulator, and the
// dump of the final state that the rig's judge reads.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rigs/sim/sim_camera.h"
#include "rigs/sim/virtual_clock.h"
#include "rigs/sim/sim_world.h"
#include "rigs/sim_frontend/sim_options.h"
#include "rigs/usb_camera/control_endpoint.h"

namespace velkor::usbcam {

struct EmulatedCameraOptions {
  bool otherMaker = false;          // --model other: another maker's webcam, no simulator behind it
  unsigned port = 0;                // --port: vhci_hcd port (0 to 7 are high-speed ports)
  std::uint32_t attachDelayMs = 0;  // --attach-delay: wait before plugging in
  std::uint32_t eraseMs = 200;      // --erase-ms: the flash's chip-erase time
  std::uint32_t statusWriteMs = 15;  // --status-write-ms
  // --erase-answer-delay: a controller erase request is answered this late, and the controller
  // answers without waiting for its erase (0: at once, after the erase, as the firmware does).
  std::uint32_t eraseAnswerDelayMs = 0;
  // The simulator's options: the camera (chip row, pin wiring, busy polls, flash faults), the
  // request faults (--fail-request, --fail-selector, --unplug-after) and the state file
  // (--camera-state, --replugged). Its flash timings are replaced by the two above.
  sim::SimFrontendOptions sim;
  ControlFaults faults;        // --stall-set N, --unplug-at-set N
  std::string stateDir = ".";  // --state-dir: where the final state is written
  std::string vhciDir = "/sys/devices/platform/vhci_hcd.0";  // --vhci
  std::string readyFile;  // --ready-file: created once the device is attached
  bool help = false;      // -h, --help
};

struct EmulatedCameraOptionsResult {
  bool ok = false;
  std::string error;
  EmulatedCameraOptions options;
};

EmulatedCameraOptionsResult ParseEmulatedCameraOptions(const std::vector<std::string>& args);
std::string EmulatedCameraUsage();

// The camera the rig updates: the simulator front end's default camera (write-protected, an
// older firmware with the board's configuration block) with the given flash timings. Both
// ends of the rig's wire check build it from here.
sim::SimCameraConfig RigCameraConfig(std::uint32_t eraseMs, std::uint32_t statusWriteMs);

// The camera the options describe: the simulator's camera with the rig's flash timings, and a
// controller that answers its erase request early when that answer is to be held back.
sim::SimCameraConfig CameraConfigOf(const EmulatedCameraOptions& options);

// A simulated camera on a virtual clock that follows the real one: before each request the
// clock is moved on by the real time elapsed, so erases take their time while the host polls.
// The request faults act on the unit's requests (SET_CUR and GET_CUR), counted from 1: a failing
// request is stalled before the camera sees it, and the request after the unplug-after count
// pulls the device instead of being answered.
class SimulatedUnit {
 public:
  explicit SimulatedUnit(const sim::SimCameraConfig& config, sim::SimRequestFaults faults = {},
                         std::uint32_t eraseAnswerDelayMs = 0);
  UnitAnswer operator()(std::uint8_t selector, bool set, std::uint8_t* payload, std::uint16_t size);
  sim::SimCamera& camera() { return *camera_; }
  const sim::SimCamera& camera() const { return *camera_; }
  // Starts from a saved state (replugged first when asked); the flash it holds becomes the one
  // FlashChanged compares with. False, with the reason, for the state of another camera.
  bool LoadState(const sim::SimCameraState& state, bool replugged, std::string* error);
  // Milliseconds from the start to the first and the last request (0 before any).
  std::uint64_t firstRequestMs() const { return firstRequestMs_; }
  std::uint64_t lastRequestMs() const { return lastRequestMs_; }
  std::uint32_t requests() const { return requests_; }
  // Controller erase requests whose answer was held back.
  std::uint32_t delayedEraseAnswers() const { return delayedEraseAnswers_; }
  // Whether the flash differs from what it held when the unit was made or its state loaded.
  bool FlashChanged() const { return camera_->flash().content() != initialFlash_; }

 private:
  bool Lost(std::uint32_t number, std::uint8_t selector) const;

  sim::VirtualClock clock_;
  std::unique_ptr<sim::SimCamera> camera_;
  sim::SimRequestFaults faults_;
  std::uint32_t eraseAnswerDelayMs_;
  std::array<std::uint8_t, sim::SimFlash::kSize> initialFlash_;
  std::chrono::steady_clock::time_point start_;
  std::uint64_t firstRequestMs_ = 0;
  std::uint64_t lastRequestMs_ = 0;
  std::uint32_t requests_ = 0;
  std::uint32_t delayedEraseAnswers_ = 0;
  bool served_ = false;
};

// Writes state.txt (key=value lines: how serving ended, request counts, the flash status and
// write protection, the registers the update touches, when the unit's requests came),
// requests.txt (FormatRecordLine per request) and, with a simulated unit, flash.bin. Returns
// false if a file could not be written.
bool DumpState(const std::string& dir, const ControlEndpoint& endpoint, const SimulatedUnit* unit,
               const std::string& serveEnd);

}  // namespace velkor::usbcam
