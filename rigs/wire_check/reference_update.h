// A whole update run in-process against the simulator, for the rig's wire check: the same
// application and image as the updater, the simulated world in place of the kernel, on a
// virtual clock. It yields the extension-unit requests the camera received, in order.
#pragma once

#include <string>
#include <vector>

#include "platform/process.h"
#include "rigs/sim/sim_camera.h"
#include "rigs/sim/sim_world.h"
#include "rigs/wire_check/wire_check.h"

namespace velkor::rig {

struct ReferenceRun {
  std::vector<ReferenceRequest> requests;
  std::string resultLog;  // the verdict file the run left
};

// Runs in a scratch directory of its own and removes it afterwards. Call once per process: the
// application's state is process-wide.
ReferenceRun RunReferenceUpdate(const sim::SimCameraConfig& camera, ModuleResources& image);

// The extension-unit requests the world's camera received, in order. The set-support probes
// that find the unit are left out: on Linux they never reach a USB device.
std::vector<ReferenceRequest> UnitRequestsOf(sim::SimWorld& world);

}  // namespace velkor::rig
