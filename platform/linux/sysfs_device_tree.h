// Device-tree adapter on sysfs: the USB devices and interfaces under bus/usb/devices as a tree
// below a synthetic root, with Windows-style class names and hardware-id lists. A video-class
// interface has the class "Image" once a driver has registered a video node for it.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/device_tree.h"

namespace velkor::linux_platform {

class SysfsDeviceTree : public DeviceTree {
 public:
  // sysfsRoot is "/sys" on a running system; tests pass a tree of their own.
  explicit SysfsDeviceTree(std::string sysfsRoot) : sysfsRoot_(std::move(sysfsRoot)) {}

  // Each LocateRoot reads the tree afresh; node handles of a USB device or interface stay the
  // same for as long as its sysfs name exists.
  int LocateRoot(DeviceNode* out) override;
  int GetChild(DeviceNode* out, DeviceNode node) override;
  int GetSibling(DeviceNode* out, DeviceNode node) override;
  int GetParent(DeviceNode* out, DeviceNode node) override;
  int GetProperty(DeviceNode node, int property, char* buffer, std::uint32_t* length) override;

  static constexpr DeviceNode kRootNode = 1;

 private:
  struct Node {
    std::string name;  // sysfs name under bus/usb/devices; empty for the root
    DeviceNode parent = 0;
    std::vector<DeviceNode> children;
  };

  void Rescan();
  DeviceNode HandleFor(const std::string& name);
  const Node* Find(DeviceNode node) const;
  // Class name or hardware-id list with its terminators; empty when the node has none.
  std::string ComposeProperty(const Node& node, int property) const;

  std::string sysfsRoot_;
  std::mutex mutex_;
  std::map<DeviceNode, Node> nodes_;
  std::map<std::string, DeviceNode> handles_;  // every name seen so far keeps its handle
  DeviceNode nextHandle_ = kRootNode + 1;
};

// The hardware-id list of a USB device or interface as Windows composes it, most specific id
// first, upper case, each id zero-terminated and the list closed by one more zero.
std::string ComposeHardwareIds(unsigned vendorId, unsigned productId, unsigned revision,
                               int interfaceNumber /* negative for a device */);

}  // namespace velkor::linux_platform
