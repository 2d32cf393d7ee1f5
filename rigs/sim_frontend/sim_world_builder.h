// Builds the simulated world that the front end's options describe.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "rigs/sim/sim_world.h"
#include "rigs/sim_frontend/sim_options.h"

namespace velkor::sim {

// The plain single-camera world (camera at capture device kSimCameraDevice) with options.faults on
// its capture device, appearing at options.attachAtMs on the world's clock (never, for
// kNeverAttached).
std::unique_ptr<SimWorld> BuildSimWorld(const SimFrontendOptions& options);

// Most cameras one simulated machine presents: a hub's worth, a few times over.
constexpr int kMaxSimCameras = 24;

// The device path of camera `number` (1..kMaxSimCameras) of a multi-camera machine. Each sits on
// its own hub port, so its USB instance id differs, as the system names them; camera 1's path
// is kSimCameraPath.
std::u16string SimCameraPath(int number);

struct PlacedSimCamera {
  std::u16string path;
  SimFrontendOptions options;  // its chip, wiring, faults, probe answer and attach time
};

// The webcam and then each camera in order, each with its own options: camera i (0-based) is
// capture device kSimCameraDevice + i.
std::unique_ptr<SimWorld> BuildSimWorld(const std::vector<PlacedSimCamera>& cameras);

}  // namespace velkor::sim
