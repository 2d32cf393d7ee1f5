// Device-tree port on the Configuration Manager: each output is initialised before the call and
// an output that comes back unwritten or unchanged counts as "no such node".
#include "platform/win32/cm_device_tree.h"

#include "platform/win32/windows_api.h"

namespace velkor::win32 {
namespace {

// A value no Configuration Manager hands out as a device instance handle.
constexpr DEVINST kUnwritten = 0xFFFFFFFFu;

using MoveFunction = CONFIGRET(WINAPI*)(PDEVINST, DEVINST, ULONG);

// One step of the walk: the result must be a node other than the one we started from.
int Move(MoveFunction move, DeviceNode* out, DeviceNode node) {
  DEVINST next = node;
  const CONFIGRET result = move(&next, node, 0);
  if (result != CR_SUCCESS) {
    return static_cast<int>(result);
  }
  if (next == node || next == kUnwritten) {
    return cr::kNoSuchDevNode;
  }
  *out = next;
  return cr::kSuccess;
}

}  // namespace

int CmDeviceTree::LocateRoot(DeviceNode* out) {
  DEVINST root = kUnwritten;
  const CONFIGRET result = CM_Locate_DevNodeA(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL);
  if (result != CR_SUCCESS) {
    return static_cast<int>(result);
  }
  if (root == kUnwritten) {
    return cr::kNoSuchDevNode;
  }
  *out = root;
  return cr::kSuccess;
}

int CmDeviceTree::GetChild(DeviceNode* out, DeviceNode node) {
  return Move(CM_Get_Child, out, node);
}

int CmDeviceTree::GetSibling(DeviceNode* out, DeviceNode node) {
  return Move(CM_Get_Sibling, out, node);
}

int CmDeviceTree::GetParent(DeviceNode* out, DeviceNode node) {
  return Move(CM_Get_Parent, out, node);
}

int CmDeviceTree::GetProperty(DeviceNode node, int property, char* buffer, std::uint32_t* length) {
  const std::uint32_t capacity = *length;
  if (buffer == nullptr || capacity == 0) {
    return cr::kBufferSmall;
  }
  // An implementation that answers success without copying leaves an empty text, not stale
  // bytes from the caller's previous read.
  buffer[0] = '\0';
  ULONG size = capacity;
  const CONFIGRET result = CM_Get_DevNode_Registry_PropertyA(node, static_cast<ULONG>(property),
                                                             nullptr, buffer, &size, 0);
  *length = size;
  if (result != CR_SUCCESS) {
    return static_cast<int>(result);
  }
  if (size > capacity) {
    return cr::kBufferSmall;
  }
  // The callers read the buffer as zero-terminated text: make sure the copy ends in one.
  if (size == 0 || buffer[size - 1] != '\0') {
    if (size >= capacity) {
      return cr::kBufferSmall;
    }
    buffer[size] = '\0';
  }
  return cr::kSuccess;
}

}  // namespace velkor::win32
