// The service tool's write run in-process against the simulated camera, for the rig's wire
// check of a station's cameras: each of them is updated by `velkor-tool write`, whose sequence
// differs from the updater's (a blank check after the erase, a status read after the restore).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rigs/sim/sim_camera.h"
#include "rigs/wire_check/reference_update.h"

namespace velkor::rig {

struct ReferenceWrite {
  std::vector<ReferenceRequest> requests;
  int exitCode = -1;  // the tool's exit code, 0 when the write passed
};

// Writes IMAGE to the camera with `write IMAGE` on a virtual clock.
ReferenceWrite RunReferenceToolWrite(const sim::SimCameraConfig& camera,
                                     const std::vector<std::uint8_t>& image);

}  // namespace velkor::rig
