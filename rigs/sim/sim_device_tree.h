// The simulated device tree: nodes with a class name and a hardware-id list, walked the way
// the Configuration Manager walks them (root, first child, next sibling, parent).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/device_tree.h"

namespace velkor::sim {

class SimDeviceTree {
 public:
  // Handles are indices into the node list; 0 is never a node, the root is 1.
  static constexpr DeviceNode kRoot = 1;

  SimDeviceTree();

  // Adds a child at the end of parent's children (-1: under the root). className empty: the
  // node has no class; hardwareIds empty: no hardware-id list. The ids are texts separated by
  // '\0'; a trailing '\0' is optional. Returns the new handle, or -1 when parent is no node.
  int Add(int parent, const std::string& className, const std::string& hardwareIds);
  // A removed node, and everything below it, fails every call from then on.
  void Remove(int node);
  // A node that exists only while the camera is attached (with everything below it).
  void MarkAttachable(int node);

  // Whether attachable nodes are present; the world sets it before each walk step.
  void SetAttachedPresent(bool present) { attachedPresent_ = present; }

  int LocateRoot(DeviceNode* out) const;
  int GetChild(DeviceNode* out, DeviceNode node) const;
  int GetSibling(DeviceNode* out, DeviceNode node) const;
  int GetParent(DeviceNode* out, DeviceNode node) const;
  int GetProperty(DeviceNode node, int property, char* buffer, std::uint32_t* length) const;

 private:
  struct Node {
    int parent = -1;
    std::vector<int> children;
    std::string className;    // without terminator
    std::string hardwareIds;  // each text with its terminator, then the list's final zero
    bool removed = false;
    bool attachable = false;
  };

  bool Present(DeviceNode node) const;
  // The first present node among parent's children from position `from` on; 0 when none.
  DeviceNode FirstPresentChild(int parent, std::size_t from) const;

  std::vector<Node> nodes_;
  bool attachedPresent_ = false;
};

}  // namespace velkor::sim
