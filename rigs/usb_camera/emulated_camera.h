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
#include "rigs/usb_camera/control_endpoint.h"

namespace velkor::usbcam {

struct EmulatedCameraOptions {
  bool otherMaker = false;          // --model other: another maker's webcam, no simulator behind it
  unsigned port = 0;                // --port: vhci_hcd port (0 to 7 are high-speed ports)
  std::uint32_t attachDelayMs = 0;  // --attach-delay: wait before plugging in
  std::uint32_t eraseMs = 200;      // --erase-ms: the flash's chip-erase time
  std::uint32_t statusWriteMs = 15;  // --status-write-ms
  ControlFaults faults;              // --stall-set N, --unplug-at-set N
  std::string stateDir = ".";        // --state-dir: where the final state is written
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

// A simulated camera on a virtual clock that follows the real one: before each request the
// clock is moved on by the real time elapsed, so erases take their time while the host polls.
class SimulatedUnit {
 public:
  explicit SimulatedUnit(const sim::SimCameraConfig& config);
  bool operator()(std::uint8_t selector, bool set, std::uint8_t* payload, std::uint16_t size);
  sim::SimCamera& camera() { return *camera_; }
  const sim::SimCamera& camera() const { return *camera_; }
  // Milliseconds from the start to the first and the last request (0 before any).
  std::uint64_t firstRequestMs() const { return firstRequestMs_; }
  std::uint64_t lastRequestMs() const { return lastRequestMs_; }
  // Whether the flash differs from what it held when the unit was made.
  bool FlashChanged() const { return camera_->flash().content() != initialFlash_; }

 private:
  sim::VirtualClock clock_;
  std::unique_ptr<sim::SimCamera> camera_;
  std::array<std::uint8_t, sim::SimFlash::kSize> initialFlash_;
  std::chrono::steady_clock::time_point start_;
  std::uint64_t firstRequestMs_ = 0;
  std::uint64_t lastRequestMs_ = 0;
  bool served_ = false;
};

// Writes state.txt (key=value lines: how serving ended, request counts, the flash status and
// write protection, the registers the update touches, when the unit's requests came),
// requests.txt (FormatRecordLine per request) and, with a simulated unit, flash.bin. Returns
// false if a file could not be written.
bool DumpState(const std::string& dir, const ControlEndpoint& endpoint, const SimulatedUnit* unit,
               const std::string& serveEnd);

}  // namespace velkor::usbcam
