// Loading and saving the front end's camera state file.
#include "rigs/sim_frontend/camera_state_file.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "rigs/sim/sim_camera_state_file.h"

namespace velkor::sim {

bool LoadCameraState(SimWorld& world, const SimFrontendOptions& options, std::string* error,
                     int device) {
  std::error_code ignored;
  if (options.cameraStatePath.empty() ||
      !std::filesystem::exists(options.cameraStatePath, ignored)) {
    return true;  // a first run: the camera as the other options describe it
  }
  SimCameraState state;
  SimCamera& camera = *world.device(device).camera;
  if (!LoadCameraStateFile(options.cameraStatePath, &state, error) ||
      !camera.LoadState(state, error)) {
    *error = "--camera-state: " + *error;
    return false;
  }
  if (options.replugged) {
    camera.Replug();
  }
  return true;
}

bool SaveCameraState(const SimWorld& world, const SimFrontendOptions& options, std::string* error,
                     int device) {
  if (options.cameraStatePath.empty()) {
    return true;
  }
  if (!SaveCameraStateFile(options.cameraStatePath, world.CameraState(device), error)) {
    *error = "--camera-state: " + *error;
    return false;
  }
  return true;
}

void StateSavingProcess::Exit(int code) {
  std::string error;
  if (!SaveCameraState(world_, options_, &error)) {
    std::fprintf(stderr, "%s: %s\n", program_.c_str(), error.c_str());
  }
  inner_.Exit(code);
  std::abort();  // Exit never returns; the compiler cannot see that through the virtual call
}

}  // namespace velkor::sim
