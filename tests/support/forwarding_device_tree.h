// A device tree that passes every call to another one; tests derive from it to change the one
// call their situation is about (usually LocateRoot, which each presence test makes once).
#pragma once

#include <cstdint>

#include "platform/device_tree.h"

namespace velkor {

class ForwardingDeviceTree : public DeviceTree {
 public:
  explicit ForwardingDeviceTree(DeviceTree& inner) : inner_(inner) {}
  int LocateRoot(DeviceNode* out) override { return inner_.LocateRoot(out); }
  int GetChild(DeviceNode* out, DeviceNode node) override { return inner_.GetChild(out, node); }
  int GetSibling(DeviceNode* out, DeviceNode node) override { return inner_.GetSibling(out, node); }
  int GetParent(DeviceNode* out, DeviceNode node) override { return inner_.GetParent(out, node); }
  int GetProperty(DeviceNode node, int property, char* buffer, std::uint32_t* length) override {
    return inner_.GetProperty(node, property, buffer, length);
  }

 private:
  DeviceTree& inner_;
};

}  // namespace velkor
