// --camera-state for the emulated USB camera: one camera process starts where an earlier one
// left the simulated camera, as a camera unplugged from one run and plugged into the next.
#pragma once

#include <string>

#include "rigs/usb_camera/emulated_camera.h"

namespace velkor::usbcam {

// Loads options.sim.cameraStatePath into the unit when that file exists (replugged first with
// --replugged). True when there is no file to load; false with the reason otherwise.
bool LoadUnitState(SimulatedUnit& unit, const EmulatedCameraOptions& options, std::string* error);
// Saves the unit's state to options.sim.cameraStatePath (nothing without one).
bool SaveUnitState(const SimulatedUnit& unit, const EmulatedCameraOptions& options,
                   std::string* error);

}  // namespace velkor::usbcam
