// Loading and saving the emulated camera's state file.
#include "rigs/usb_camera/unit_state_file.h"

#include <filesystem>

#include "rigs/sim/sim_camera_state_file.h"

namespace velkor::usbcam {

bool LoadUnitState(SimulatedUnit& unit, const EmulatedCameraOptions& options, std::string* error) {
  const std::string& path = options.sim.cameraStatePath;
  std::error_code ignored;
  if (path.empty() || !std::filesystem::exists(path, ignored)) {
    return true;  // a first run: the camera as the other options describe it
  }
  sim::SimCameraState state;
  if (!sim::LoadCameraStateFile(path, &state, error) ||
      !unit.LoadState(state, options.sim.replugged, error)) {
    *error = "--camera-state: " + *error;
    return false;
  }
  return true;
}

bool SaveUnitState(const SimulatedUnit& unit, const EmulatedCameraOptions& options,
                   std::string* error) {
  const std::string& path = options.sim.cameraStatePath;
  if (path.empty()) {
    return true;
  }
  if (!sim::SaveCameraStateFile(path, unit.camera().SaveState(), error)) {
    *error = "--camera-state: " + *error;
    return false;
  }
  return true;
}

}  // namespace velkor::usbcam
