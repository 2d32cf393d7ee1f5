// Presence test: is the camera attached? A walk of the device tree for an "Image" node whose
// first hardware id starts with the camera's USB vendor and product id.
#pragma once

namespace velkor::app {

constexpr int kProbeAbsent = 0;      // no "Image" node, or the root could not be located
constexpr int kProbeOtherImage = 1;  // "Image" nodes, none of them the camera
constexpr int kProbeCameraPresent = 2;

int ProbeDeviceTree();

}  // namespace velkor::app
