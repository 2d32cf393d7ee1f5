// The front end's world: the plain single-camera world with the chosen faults, probe answer and
// attach time.
#include "rigs/sim_frontend/sim_world_builder.h"

namespace velkor::sim {

std::unique_ptr<SimWorld> BuildSimWorld(const SimFrontendOptions& options) {
  auto world = MakeSingleCameraWorld(options.camera);
  world->device(kSimCameraDevice).faults = options.faults;
  for (SimTopologyNode& node : world->device(kSimCameraDevice).topology) {
    node.probeResult = options.probeResult;
  }
  world->SetCameraAttachTime(options.attachAtMs);
  return world;
}

}  // namespace velkor::sim
