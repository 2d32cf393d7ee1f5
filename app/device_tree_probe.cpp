// The device-tree walk of the presence test, in depth-first pre-order from the root.
#include "app/device_tree_probe.h"

#include <cstdio>
#include <cstring>

#include "app/text_match.h"
#include "platform/ports.h"

namespace velkor::app {

namespace {

constexpr std::uint32_t kPropertyBufferSize = 260;
constexpr std::size_t kExpectedPrefixLength = 21;  // usb\vid_5d1a&pid_c03e
// A real tree holds a few hundred nodes; a walk this long means the tree keeps answering in a
// circle, and stops.
constexpr int kMaxNodes = 100000;

bool ReadProperty(DeviceTree& tree, DeviceNode node, int property, char* buffer) {
  std::uint32_t length = kPropertyBufferSize;
  if (tree.GetProperty(node, property, buffer, &length) != cr::kSuccess) {
    return false;
  }
  buffer[kPropertyBufferSize - 1] = '\0';
  return true;
}

// Moves to the next node in pre-order. False at the end of the walk, and also when a call
// claims success without moving (a node equal to the one it came from), which would otherwise
// loop forever.
bool NextNode(DeviceTree& tree, DeviceNode* node) {
  DeviceNode next = *node;
  if (tree.GetChild(&next, *node) == cr::kSuccess) {
    if (next == *node) {
      return false;
    }
    *node = next;
    return true;
  }
  next = *node;
  if (tree.GetSibling(&next, *node) == cr::kSuccess) {
    if (next == *node) {
      return false;
    }
    *node = next;
    return true;
  }
  DeviceNode current = *node;
  for (int depth = 0; depth < kMaxNodes; ++depth) {
    DeviceNode parent = current;
    if (tree.GetParent(&parent, current) != cr::kSuccess || parent == current) {
      return false;
    }
    current = parent;
    next = current;
    if (tree.GetSibling(&next, current) == cr::kSuccess) {
      if (next == current) {
        return false;
      }
      *node = next;
      return true;
    }
  }
  return false;
}

}  // namespace

int ProbeDeviceTree() {
  DeviceTree* tree = CurrentPorts().deviceTree;
  if (tree == nullptr) {
    return kProbeAbsent;
  }
  DeviceNode node = 0;
  if (tree->LocateRoot(&node) != cr::kSuccess) {
    return kProbeAbsent;
  }
  int result = kProbeAbsent;
  char property[kPropertyBufferSize];
  char expected[kPropertyBufferSize];
  for (int visited = 0; visited < kMaxNodes; ++visited) {
    if (ReadProperty(*tree, node, kPropertyClass, property) &&
        std::strcmp(property, "Image") == 0) {
      result = kProbeOtherImage;
      if (ReadProperty(*tree, node, kPropertyHardwareId, property)) {
        std::memset(expected, 0, sizeof(expected));
        std::snprintf(expected, sizeof(expected), "usb\\%s", kCameraUsbId);
        // Only the first id of the list is compared.
        if (EqualsIgnoringCase(property, expected, kExpectedPrefixLength)) {
          return kProbeCameraPresent;
        }
      }
    }
    if (!NextNode(*tree, &node)) {
      break;
    }
  }
  return result;
}

}  // namespace velkor::app
