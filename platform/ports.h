// The process-wide set of platform adapters. Each executable fills it once in main() before
// anything else runs; the portable code reaches the operating system only through it.
#pragma once

#include "platform/camera_lock.h"
#include "platform/capture_system.h"
#include "platform/clock.h"
#include "platform/device_tree.h"
#include "platform/diagnostics.h"
#include "platform/process.h"

namespace velkor {

struct Ports {
  CaptureSystem* captureSystem = nullptr;
  DeviceTree* deviceTree = nullptr;
  Clock* clock = nullptr;
  Process* process = nullptr;
  ModuleResources* resources = nullptr;
  Diagnostics* diagnostics = nullptr;  // may stay null: diagnostics then go nowhere
  CameraLock* cameraLock = nullptr;    // null: no other program is guarded against
};

void InstallPorts(const Ports& ports);
const Ports& CurrentPorts();

}  // namespace velkor
