// The simulated device tree: node storage, presence and the Configuration Manager walk.
#include "rigs/sim/sim_device_tree.h"

#include <algorithm>
#include <cstring>

namespace velkor::sim {
namespace {

constexpr int kInvalidPointer = 0x03;  // CR_INVALID_POINTER

// Brings a hardware-id list into its stored form: every text zero-terminated, then one more
// zero that ends the list. Empty input stays empty (no list at all).
std::string NormalizeIdList(std::string ids) {
  while (!ids.empty() && ids.back() == '\0')
    ids.pop_back();
  if (ids.empty())
    return ids;
  ids.push_back('\0');
  ids.push_back('\0');
  return ids;
}

}  // namespace

SimDeviceTree::SimDeviceTree() {
  nodes_.resize(2);  // slot 0 is never a node; slot 1 is the root, which has no class
}

int SimDeviceTree::Add(int parent, const std::string& className, const std::string& hardwareIds) {
  if (parent < 0)
    parent = static_cast<int>(kRoot);
  if (parent == 0 || static_cast<std::size_t>(parent) >= nodes_.size())
    return -1;
  Node node;
  node.parent = parent;
  node.className = className;
  node.hardwareIds = NormalizeIdList(hardwareIds);
  nodes_.push_back(std::move(node));
  const int handle = static_cast<int>(nodes_.size() - 1);
  nodes_[static_cast<std::size_t>(parent)].children.push_back(handle);
  return handle;
}

void SimDeviceTree::Remove(int node) {
  if (node > 0 && static_cast<std::size_t>(node) < nodes_.size()) {
    nodes_[static_cast<std::size_t>(node)].removed = true;
  }
}

void SimDeviceTree::MarkAttachable(int node) {
  if (node > 0 && static_cast<std::size_t>(node) < nodes_.size()) {
    nodes_[static_cast<std::size_t>(node)].attachable = true;
  }
}

bool SimDeviceTree::Present(DeviceNode node) const {
  if (node == 0 || node >= nodes_.size())
    return false;
  // A node is present only while it and all of its ancestors are.
  for (int at = static_cast<int>(node); at > 0; at = nodes_[static_cast<std::size_t>(at)].parent) {
    const Node& n = nodes_[static_cast<std::size_t>(at)];
    if (n.removed || (n.attachable && !attachedPresent_))
      return false;
  }
  return true;
}

DeviceNode SimDeviceTree::FirstPresentChild(int parent, std::size_t from) const {
  const std::vector<int>& children = nodes_[static_cast<std::size_t>(parent)].children;
  for (std::size_t i = from; i < children.size(); ++i) {
    const auto child = static_cast<DeviceNode>(children[i]);
    if (Present(child))
      return child;
  }
  return 0;
}

int SimDeviceTree::LocateRoot(DeviceNode* out) const {
  if (out == nullptr)
    return kInvalidPointer;
  *out = kRoot;
  return cr::kSuccess;
}

int SimDeviceTree::GetChild(DeviceNode* out, DeviceNode node) const {
  if (out == nullptr)
    return kInvalidPointer;
  if (!Present(node))
    return cr::kNoSuchDevNode;
  const DeviceNode child = FirstPresentChild(static_cast<int>(node), 0);
  if (child == 0)
    return cr::kNoSuchDevNode;
  *out = child;
  return cr::kSuccess;
}

int SimDeviceTree::GetSibling(DeviceNode* out, DeviceNode node) const {
  if (out == nullptr)
    return kInvalidPointer;
  if (!Present(node) || node == kRoot)
    return cr::kNoSuchDevNode;
  const int parent = nodes_[node].parent;
  const std::vector<int>& siblings = nodes_[static_cast<std::size_t>(parent)].children;
  const auto self = std::find(siblings.begin(), siblings.end(), static_cast<int>(node));
  const auto next = static_cast<std::size_t>(self - siblings.begin()) + 1;
  const DeviceNode sibling = FirstPresentChild(parent, next);
  if (sibling == 0)
    return cr::kNoSuchDevNode;
  *out = sibling;
  return cr::kSuccess;
}

int SimDeviceTree::GetParent(DeviceNode* out, DeviceNode node) const {
  if (out == nullptr)
    return kInvalidPointer;
  if (!Present(node) || node == kRoot)
    return cr::kNoSuchDevNode;
  *out = static_cast<DeviceNode>(nodes_[node].parent);
  return cr::kSuccess;
}

int SimDeviceTree::GetProperty(DeviceNode node, int property, char* buffer,
                               std::uint32_t* length) const {
  if (length == nullptr)
    return kInvalidPointer;
  if (!Present(node))
    return cr::kNoSuchDevNode;
  const Node& n = nodes_[node];
  std::string value;
  if (property == kPropertyClass && !n.className.empty()) {
    value = n.className;
    value.push_back('\0');
  } else if (property == kPropertyHardwareId) {
    value = n.hardwareIds;
  }
  if (value.empty())
    return cr::kNoSuchValue;
  const auto required = static_cast<std::uint32_t>(value.size());
  if (required > *length) {
    // Like the Configuration Manager: report the size needed, leave the buffer alone.
    *length = required;
    return cr::kBufferSmall;
  }
  if (buffer == nullptr)
    return kInvalidPointer;
  std::memcpy(buffer, value.data(), value.size());
  *length = required;
  return cr::kSuccess;
}

}  // namespace velkor::sim
