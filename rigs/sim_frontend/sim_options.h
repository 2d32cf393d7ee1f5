// Command-line options of the simulator front end: which camera to play, when it appears,
// which fault to inject, and how the run is shown.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "rigs/sim/sim_camera.h"
#include "rigs/sim/sim_world.h"

namespace velkor::sim {

constexpr std::uint64_t kNeverAttached = std::numeric_limits<std::uint64_t>::max();
// Bound of --request-latency-us: a second per request already stretches an update to hours.
constexpr std::uint32_t kMaxLatencyUs = 1000000;

struct SimFrontendOptions {
  SimCameraConfig camera;   // chip, board wiring, camera-level faults, flash content
  SimRequestFaults faults;  // request-level faults of the camera's capture device
  // What the extension unit's node answers to the set-support probe: S_OK or another success.
  HResult probeResult = hr::kOk;
  // Time on the world's clock at which the camera shows up; 0: attached from the start.
  std::uint64_t attachAtMs = 0;
  std::string imagePath;  // empty: the image embedded in the program
  // The camera's state file: loaded at the start when it exists, saved at the end; empty: none.
  std::string cameraStatePath;
  bool replugged = false;    // the loaded state is replugged first (SimCamera::Replug)
  bool diagnostics = false;  // print the transport's failure texts to stderr
  bool fast = false;         // sleeps pass on the simulated clock only, without real waiting
  // Every extension-unit request takes this long in real time (0: as fast as it goes), so that
  // a moment inside the flash window can be hit from outside.
  std::uint32_t requestLatencyUs = 0;
  bool help = false;
};

// The defaults of a run without options: a write-protected camera of row 18 whose flash holds
// an older firmware (so that a skipped erase shows) with the board's configuration block, one
// busy poll per flash-interface byte (so that a host that does not wait shows), attached from
// the start, no fault.
SimFrontendOptions DefaultSimFrontendOptions();

struct SimOptionsResult {
  bool ok = false;
  std::string error;  // one line naming the offending option, when !ok
  SimFrontendOptions options;
};

// Parses the arguments after the program name. Accepts "--name value" and "--name=value".
SimOptionsResult ParseSimOptions(const std::vector<std::string>& args);

// The --help text.
std::string SimOptionsUsage(const std::string& program);

// The world clock time of "just before poll tick n": the poll ticks once a second from the
// start, so a camera that appears half a second before tick n is first seen at tick n.
constexpr std::uint64_t AttachTimeForTick(std::uint32_t tick) {
  return tick == 0 ? 0 : std::uint64_t{tick} * 1000 - 500;
}

}  // namespace velkor::sim
