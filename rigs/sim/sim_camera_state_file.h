// The simulated camera's state as a text file, so that one run of a host can start from what
// another left: "velkor-sim-camera-state 1", one "key value" line per item, the registers one
// per line, then the flash as 1,024 lines of 64 bytes in hex and a closing "end".
#pragma once

#include <string>

#include "rigs/sim/sim_camera.h"

namespace velkor::sim {

std::string FormatCameraState(const SimCameraState& state);
// False with a one-line reason (naming the line) when the text is no state of this version.
bool ParseCameraState(const std::string& text, SimCameraState* state, std::string* error);

// The same through a file. Saving writes a temporary file beside it and renames it over, so a
// run killed meanwhile leaves the old state, not half of the new one.
bool SaveCameraStateFile(const std::string& path, const SimCameraState& state, std::string* error);
bool LoadCameraStateFile(const std::string& path, SimCameraState* state, std::string* error);

}  // namespace velkor::sim
