// The fake camera's configuration: the simulator front end's options (chip row, faults, attach
// tick, unplug) plus the few that only the Windows rig has, read from a file of options.
#pragma once

#include <cstdint>
#include <string>

#include "rigs/sim_frontend/sim_options.h"

namespace velkor::fakecam {

struct FakeCameraConfig {
  // Camera, faults and attach time, as velkor-update-sim takes them. The attach time counts
  // from the program's first device-tree walk, which is its first poll tick.
  sim::SimFrontendOptions sim;
  // A capture device of another maker (no vendor extension unit) enumerates before the camera.
  bool otherDeviceFirst = false;
  // A millisecond's pause after every this many requests (0: none), so that the transfer
  // phases of an update last long enough for a test to act during them.
  std::uint32_t pauseEveryRequests = 0;
  // Where the final state, the flash image and the two request records are written when the
  // fake camera is unloaded; the others take this path's stem.
  std::string stateFile = "fake-camera-state.txt";
};

struct FakeCameraConfigResult {
  bool ok = false;
  std::string error;
  FakeCameraConfig config;
};

// Parses the text of a configuration file: options separated by white space or new lines,
// "#" to the end of a line is a comment. On top of the simulator's options it takes
// --other-device-first, --erase-ms N, --status-write-ms N, --pace-requests N and
// --state-file PATH. The simulator's --camera-state FILE [--replugged] means what it means
// there: the camera starts from FILE when it exists, and its state is saved to FILE when the
// fake camera is unloaded. The simulator's run options (--image, --fast, --diagnostics, --help)
// mean nothing here and are refused.
FakeCameraConfigResult ParseFakeCameraConfig(const std::string& text);

}  // namespace velkor::fakecam
