// Device-tree adapter on sysfs: USB devices and interfaces below a synthetic root.
#include "platform/linux/sysfs_device_tree.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "platform/linux/sysfs_attributes.h"

namespace velkor::linux_platform {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kVideoInterfaceClass = 0x0E;

bool IsInterfaceName(const std::string& name) {
  return name.find(':') != std::string::npos;
}

// uvcvideo registers an interface's video nodes at the end of its probe, which waits on the
// camera's answers; until then the interface is in sysfs but the capture stack cannot reach
// it. Only an interface with a node counts as an imaging device, as Windows gives a device
// node its class only once its driver is installed.
bool HasVideoNode(const fs::path& interfaceDir) {
  return !ListDirectorySorted(interfaceDir / "video4linux").empty();
}

}  // namespace

std::string ComposeHardwareIds(unsigned vendorId, unsigned productId, unsigned revision,
                               int interfaceNumber) {
  char specific[64];
  char general[64];
  if (interfaceNumber < 0) {
    std::snprintf(specific, sizeof(specific), "USB\\VID_%04X&PID_%04X&REV_%04X", vendorId & 0xFFFFu,
                  productId & 0xFFFFu, revision & 0xFFFFu);
    std::snprintf(general, sizeof(general), "USB\\VID_%04X&PID_%04X", vendorId & 0xFFFFu,
                  productId & 0xFFFFu);
  } else {
    const unsigned mi = static_cast<unsigned>(interfaceNumber) & 0xFFu;
    std::snprintf(specific, sizeof(specific), "USB\\VID_%04X&PID_%04X&REV_%04X&MI_%02X",
                  vendorId & 0xFFFFu, productId & 0xFFFFu, revision & 0xFFFFu, mi);
    std::snprintf(general, sizeof(general), "USB\\VID_%04X&PID_%04X&MI_%02X", vendorId & 0xFFFFu,
                  productId & 0xFFFFu, mi);
  }
  std::string list = specific;
  list.push_back('\0');
  list += general;
  list.push_back('\0');
  list.push_back('\0');
  return list;
}

DeviceNode SysfsDeviceTree::HandleFor(const std::string& name) {
  auto [it, inserted] = handles_.try_emplace(name, nextHandle_);
  if (inserted) {
    ++nextHandle_;
  }
  return it->second;
}

void SysfsDeviceTree::Rescan() {
  const fs::path devicesDir = fs::path(sysfsRoot_) / "bus" / "usb" / "devices";
  nodes_.clear();
  nodes_[kRootNode] = Node{};

  // Entries are links into the device hierarchy; a node's parent is the entry whose resolved
  // directory contains it (a hub for a device, the device for an interface).
  std::map<fs::path, DeviceNode> byLocation;
  std::vector<std::pair<DeviceNode, fs::path>> found;
  for (const std::string& name : ListDirectorySorted(devicesDir)) {
    std::optional<fs::path> location = ResolvePath(devicesDir / name);
    if (!location) {
      continue;
    }
    DeviceNode handle = HandleFor(name);
    nodes_[handle] = Node{name, kRootNode, {}};
    byLocation[*location] = handle;
    found.emplace_back(handle, *location);
  }
  // Sorted names give every parent its children in a stable order.
  for (const auto& [handle, location] : found) {
    auto parent = byLocation.find(location.parent_path());
    DeviceNode parentHandle = parent != byLocation.end() ? parent->second : kRootNode;
    nodes_[handle].parent = parentHandle;
    nodes_[parentHandle].children.push_back(handle);
  }
}

const SysfsDeviceTree::Node* SysfsDeviceTree::Find(DeviceNode node) const {
  auto it = nodes_.find(node);
  return it != nodes_.end() ? &it->second : nullptr;
}

int SysfsDeviceTree::LocateRoot(DeviceNode* out) {
  if (out == nullptr) {
    return cr::kNoSuchDevNode;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  Rescan();
  *out = kRootNode;
  return cr::kSuccess;
}

int SysfsDeviceTree::GetChild(DeviceNode* out, DeviceNode node) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Node* found = Find(node);
  if (out == nullptr || found == nullptr || found->children.empty()) {
    return cr::kNoSuchDevNode;
  }
  *out = found->children.front();
  return cr::kSuccess;
}

int SysfsDeviceTree::GetSibling(DeviceNode* out, DeviceNode node) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Node* found = Find(node);
  if (out == nullptr || found == nullptr || node == kRootNode) {
    return cr::kNoSuchDevNode;
  }
  const std::vector<DeviceNode>& siblings = nodes_.at(found->parent).children;
  for (std::size_t i = 0; i + 1 < siblings.size(); ++i) {
    if (siblings[i] == node) {
      *out = siblings[i + 1];
      return cr::kSuccess;
    }
  }
  return cr::kNoSuchDevNode;
}

int SysfsDeviceTree::GetParent(DeviceNode* out, DeviceNode node) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Node* found = Find(node);
  if (out == nullptr || found == nullptr || node == kRootNode) {
    return cr::kNoSuchDevNode;
  }
  *out = found->parent;
  return cr::kSuccess;
}

std::string SysfsDeviceTree::ComposeProperty(const Node& node, int property) const {
  if (node.name.empty()) {
    return {};  // the synthetic root has neither a class nor hardware ids
  }
  const fs::path entry = fs::path(sysfsRoot_) / "bus" / "usb" / "devices" / node.name;
  const bool isInterface = IsInterfaceName(node.name);
  const fs::path deviceDir = isInterface ? entry / ".." : entry;
  if (property == kPropertyClass) {
    std::optional<std::uint32_t> interfaceClass =
        isInterface ? ReadHexAttribute(entry / "bInterfaceClass") : std::nullopt;
    std::string name =
        interfaceClass == kVideoInterfaceClass && HasVideoNode(entry) ? "Image" : "USB";
    name.push_back('\0');
    return name;
  }
  if (property == kPropertyHardwareId) {
    std::optional<std::uint32_t> vendor = ReadHexAttribute(deviceDir / "idVendor");
    std::optional<std::uint32_t> product = ReadHexAttribute(deviceDir / "idProduct");
    std::optional<std::uint32_t> revision = ReadHexAttribute(deviceDir / "bcdDevice");
    std::optional<std::uint32_t> interfaceNumber =
        isInterface ? ReadHexAttribute(entry / "bInterfaceNumber") : std::nullopt;
    if (!vendor || !product || !revision || (isInterface && !interfaceNumber)) {
      return {};
    }
    return ComposeHardwareIds(*vendor, *product, *revision,
                              isInterface ? static_cast<int>(*interfaceNumber) : -1);
  }
  return {};
}

int SysfsDeviceTree::GetProperty(DeviceNode node, int property, char* buffer,
                                 std::uint32_t* length) {
  if (length == nullptr) {
    return cr::kNoSuchValue;
  }
  std::string value;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const Node* found = Find(node);
    if (found == nullptr) {
      return cr::kNoSuchDevNode;
    }
    value = ComposeProperty(*found, property);
  }
  if (value.empty()) {
    return cr::kNoSuchValue;
  }
  const auto required = static_cast<std::uint32_t>(value.size());
  if (buffer == nullptr || *length < required) {
    *length = required;  // as the Configuration Manager reports the size it needs
    return cr::kBufferSmall;
  }
  std::memcpy(buffer, value.data(), value.size());
  *length = required;
  return cr::kSuccess;
}

}  // namespace velkor::linux_platform
