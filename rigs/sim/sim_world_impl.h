// The simulated world's inner state, shared by the files that implement its parts.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "rigs/sim/sim_device_tree.h"
#include "rigs/sim/sim_world.h"

namespace velkor::sim {

struct SimWorld::DeviceState {
  SimCaptureDeviceConfig config;
  std::uint32_t requests = 0;  // requests that passed the filter's checks
  bool unplugged = false;
};

struct SimWorld::Impl {
  // Guards everything below and the traffic log: tests hand the world from one thread to
  // another, and the lock makes those hand-offs race-free.
  mutable std::mutex mutex;
  // A deque keeps the references that device() hands out valid as devices are added.
  std::deque<DeviceState> devices;
  std::uint64_t cameraAttachAtMs = 0;
  HResult systemEnumeratorResult = hr::kOk;
  bool trafficLogging = true;
  std::map<std::thread::id, int> sessions;  // open sessions per thread, no zero entries
  bool endWithoutBegin = false;
  SimDeviceTree tree;
  int cameraTreeNode = -1;
  bool brokenTreeWalk = false;
  std::vector<SimViolation> probeViolations;
};

// Lays out an ordinary machine's device tree with the camera's USB device deep in a later
// subtree (present only while the camera is attached); returns the camera's "Image" node.
int BuildDefaultDeviceTree(SimDeviceTree& tree);

}  // namespace velkor::sim
