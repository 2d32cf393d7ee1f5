// Builds the simulated world that the front end's options describe.
#pragma once

#include <memory>

#include "rigs/sim/sim_world.h"
#include "rigs/sim_frontend/sim_options.h"

namespace velkor::sim {

// The plain single-camera world (camera at capture device kSimCameraDevice) with options.faults on
// its capture device, appearing at options.attachAtMs on the world's clock (never, for
// kNeverAttached).
std::unique_ptr<SimWorld> BuildSimWorld(const SimFrontendOptions& options);

}  // namespace velkor::sim
