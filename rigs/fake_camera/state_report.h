// The fake camera's final state as key=value lines, for a test to judge after the program ended.
#pragma once

#include <cstdint>
#include <string>

#include "rigs/sim/sim_camera.h"

namespace velkor::fakecam {

// What the rig itself counted over the run.
struct StateFacts {
  std::uint32_t treeWalks = 0;
  std::uint32_t firstWalkWithCamera = 0;  // 0: the camera was never in the tree
  bool cameraPresent = false;             // at the end (false after an unplug)
  std::uint32_t extensionNode = 0;
  std::uint32_t cameraRequests = 0;
  bool hasOtherDevice = false;
  std::uint32_t otherDeviceRequests = 0;
  // Requests to the other maker's device that got past the proxy to its unit.
  std::uint32_t otherDeviceRequestsServed = 0;
};

// The lines: the rig's counts, the flash's status register and protection, the WP# input, and
// every register the host wrote with its final value.
std::string WriteStateReport(const StateFacts& facts, const sim::SimCamera& camera);

}  // namespace velkor::fakecam
