// The capture device that the transport has bound: its filter and the extension unit's node,
// which every extension-unit request is sent to.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/capture_system.h"

namespace velkor::transport {

// The caller's device index. The transport works on the one bound device and ignores it.
using DeviceIndex = int;

struct BoundDevice {
  // The kernel-streaming node id of the camera's vendor extension unit, set while binding.
  std::uint32_t extensionNodeId = 0;
  // The bound capture filter; null when none is bound.
  std::unique_ptr<CaptureFilter> filter;
};

// The one process-wide record, used by one thread at a time.
extern BoundDevice boundDevice;

}  // namespace velkor::transport
