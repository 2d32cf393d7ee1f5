// Device-tree port on the Configuration Manager (cfgmgr32).
#pragma once

#include "platform/device_tree.h"

namespace velkor::win32 {

// Reports a move only when the Configuration Manager really wrote a different node: some
// implementations (Wine's) answer CR_SUCCESS without writing the output, and a walk that took
// that at its word would loop on one node forever.
class CmDeviceTree : public DeviceTree {
 public:
  int LocateRoot(DeviceNode* out) override;
  int GetChild(DeviceNode* out, DeviceNode node) override;
  int GetSibling(DeviceNode* out, DeviceNode node) override;
  int GetParent(DeviceNode* out, DeviceNode node) override;
  int GetProperty(DeviceNode node, int property, char* buffer, std::uint32_t* length) override;
};

}  // namespace velkor::win32
