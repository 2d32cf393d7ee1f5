// Tests of the simulated device tree, walked by hand through the DeviceTree port.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "rigs/sim/sim_world.h"

namespace velkor::sim {
namespace {

using namespace std::string_literals;

const std::string kCameraIds =
    "USB\\VID_5D1A&PID_C03E&REV_0100&MI_00\0USB\\VID_5D1A&PID_C03E&MI_00\0\0"s;

struct Visited {
  DeviceNode node;
  int depth;
  int classResult;
  std::string className;  // without terminator
  std::string ids;        // as copied, terminators included
};

// Reads one property into a 260-byte buffer; returns the CR code and the text copied.
int ReadProperty(DeviceTree& tree, DeviceNode node, int property, std::string* text) {
  char buffer[260];
  std::uint32_t length = sizeof buffer;
  const int result = tree.GetProperty(node, property, buffer, &length);
  if (result == cr::kSuccess)
    text->assign(buffer, length);
  return result;
}

// Depth-first pre-order walk with first child, next sibling and parent, the way a probe walks
// the Configuration Manager's tree. Stops after 1,000 nodes so that a broken tree cannot hang.
std::vector<Visited> Walk(DeviceTree& tree) {
  std::vector<Visited> visited;
  DeviceNode node = 0;
  if (tree.LocateRoot(&node) != cr::kSuccess)
    return visited;
  int depth = 0;
  while (visited.size() < 1000) {
    Visited v{node, depth, 0, "", ""};
    v.classResult = ReadProperty(tree, node, kPropertyClass, &v.className);
    if (v.classResult == cr::kSuccess)
      v.className.pop_back();
    ReadProperty(tree, node, kPropertyHardwareId, &v.ids);
    visited.push_back(v);

    DeviceNode next = 0;
    if (tree.GetChild(&next, node) == cr::kSuccess) {
      node = next;
      ++depth;
      continue;
    }
    while (tree.GetSibling(&next, node) != cr::kSuccess) {
      if (tree.GetParent(&next, node) != cr::kSuccess)
        return visited;
      node = next;
      --depth;
    }
    node = next;
  }
  return visited;
}

std::vector<Visited> NodesOfClass(const std::vector<Visited>& walk, const std::string& name) {
  std::vector<Visited> found;
  for (const Visited& v : walk) {
    if (v.className == name)
      found.push_back(v);
  }
  return found;
}

TEST(SimDeviceTree, WalkFindsTheCameraNodeDeepInALaterSubtree) {
  auto world = MakeSingleCameraWorld(SimCameraConfig{});
  const std::vector<Visited> walk = Walk(*world);
  const std::vector<Visited> images = NodesOfClass(walk, "Image");
  ASSERT_EQ(images.size(), 1u);
  const Visited& camera = images[0];
  EXPECT_EQ(camera.node, static_cast<DeviceNode>(world->CameraTreeNode()));
  EXPECT_GE(camera.depth, 3);
  EXPECT_EQ(camera.ids, kCameraIds);  // both ids and the list's double zero

  // Several top-level subtrees, and the camera is not in the first one.
  int topLevel = 0;
  for (const Visited& v : walk) {
    if (v.node == camera.node)
      break;
    if (v.depth == 1)
      ++topLevel;
  }
  EXPECT_GE(topLevel, 2);
  EXPECT_FALSE(NodesOfClass(walk, "Computer").empty());
  EXPECT_FALSE(NodesOfClass(walk, "System").empty());
  EXPECT_EQ(walk[0].classResult, cr::kNoSuchValue) << "the root has no class";

  // The length written back counts every byte copied.
  char buffer[260];
  std::uint32_t length = sizeof buffer;
  ASSERT_EQ(world->GetProperty(camera.node, kPropertyClass, buffer, &length), cr::kSuccess);
  EXPECT_EQ(length, 6u);
  EXPECT_STREQ(buffer, "Image");
}

TEST(SimDeviceTree, CameraNodeAndDeviceAppearAtTheAttachTime) {
  auto world = MakeSingleCameraWorld(SimCameraConfig{});
  world->SetCameraAttachTime(2500);
  EXPECT_TRUE(NodesOfClass(Walk(*world), "Image").empty());
  EXPECT_FALSE(world->DevicePresent(kSimCameraDevice));
  EXPECT_TRUE(world->DevicePresent(0));

  world->clock().Advance(2499);
  EXPECT_FALSE(world->CameraAttached());
  world->clock().Advance(1);
  EXPECT_TRUE(world->CameraAttached());
  EXPECT_EQ(NodesOfClass(Walk(*world), "Image").size(), 1u);
  EXPECT_TRUE(world->DevicePresent(kSimCameraDevice));

  SimWorld withoutCamera;
  EXPECT_TRUE(NodesOfClass(Walk(withoutCamera), "Image").empty());
}

TEST(SimDeviceTree, PropertiesLongerThanTheBufferFailWithBufferSmall) {
  SimWorld world;
  const int fits = world.AddTreeNode(-1, std::string(259, 'C'), "");
  const int tooLong = world.AddTreeNode(-1, std::string(260, 'C'), std::string(300, 'H'));
  char buffer[260];
  std::memset(buffer, 0x55, sizeof buffer);

  std::uint32_t length = sizeof buffer;
  EXPECT_EQ(world.GetProperty(static_cast<DeviceNode>(fits), kPropertyClass, buffer, &length),
            cr::kSuccess);
  EXPECT_EQ(length, 260u);
  EXPECT_EQ(buffer[259], '\0');
  EXPECT_EQ(world.GetProperty(static_cast<DeviceNode>(fits), kPropertyHardwareId, buffer, &length),
            cr::kNoSuchValue);

  std::memset(buffer, 0x55, sizeof buffer);
  length = sizeof buffer;
  EXPECT_EQ(world.GetProperty(static_cast<DeviceNode>(tooLong), kPropertyClass, buffer, &length),
            cr::kBufferSmall);
  EXPECT_EQ(length, 261u);  // the size that would be needed
  EXPECT_EQ(buffer[0], 0x55) << "nothing is copied when it does not fit";
  length = sizeof buffer;
  EXPECT_EQ(
      world.GetProperty(static_cast<DeviceNode>(tooLong), kPropertyHardwareId, buffer, &length),
      cr::kBufferSmall);
}

TEST(SimDeviceTree, AddedNodesKeepTheirTextsAndRemovedNodesFailEveryCall) {
  SimWorld world;
  const int hub = world.AddTreeNode(-1, "USB", "USB\\ROOT_HUB");
  const int lower = world.AddTreeNode(hub, "image", "usb\\vid_5d1a&pid_c03e&rev_0100&mi_00");
  const int other = world.AddTreeNode(hub, "Image", "USB\\VID_0000&PID_0000\0"s);
  EXPECT_EQ(world.AddTreeNode(9999, "Image", "x"), -1);

  std::vector<Visited> walk = Walk(world);
  ASSERT_EQ(NodesOfClass(walk, "image").size(), 1u);
  EXPECT_EQ(NodesOfClass(walk, "image")[0].ids, "usb\\vid_5d1a&pid_c03e&rev_0100&mi_00\0\0"s);
  ASSERT_EQ(NodesOfClass(walk, "Image").size(), 1u);
  EXPECT_EQ(NodesOfClass(walk, "Image")[0].ids, "USB\\VID_0000&PID_0000\0\0"s);

  // Removing a node hides it and everything below it from the walk and from direct calls.
  world.RemoveTreeNode(hub);
  walk = Walk(world);
  EXPECT_TRUE(NodesOfClass(walk, "image").empty());
  EXPECT_TRUE(NodesOfClass(walk, "Image").empty());
  for (const int node : {hub, lower, other}) {
    SCOPED_TRACE(node);
    const auto handle = static_cast<DeviceNode>(node);
    DeviceNode out = 12345;
    std::string text;
    EXPECT_EQ(world.GetChild(&out, handle), cr::kNoSuchDevNode);
    EXPECT_EQ(world.GetSibling(&out, handle), cr::kNoSuchDevNode);
    EXPECT_EQ(world.GetParent(&out, handle), cr::kNoSuchDevNode);
    EXPECT_EQ(ReadProperty(world, handle, kPropertyClass, &text), cr::kNoSuchDevNode);
    EXPECT_EQ(out, 12345u);
  }
}

TEST(SimDeviceTree, RootHasNoParentOrSiblingAndUnknownHandlesFail) {
  SimWorld world;
  DeviceNode root = 0;
  ASSERT_EQ(world.LocateRoot(&root), cr::kSuccess);
  DeviceNode out = 0;
  EXPECT_EQ(world.GetParent(&out, root), cr::kNoSuchDevNode);
  EXPECT_EQ(world.GetSibling(&out, root), cr::kNoSuchDevNode);
  EXPECT_EQ(world.GetChild(&out, 0), cr::kNoSuchDevNode);
  EXPECT_EQ(world.GetChild(&out, 100000), cr::kNoSuchDevNode);
  const int leaf = world.AddTreeNode(-1, "Leaf", "");
  EXPECT_EQ(world.GetChild(&out, static_cast<DeviceNode>(leaf)), cr::kNoSuchDevNode);
  ASSERT_EQ(world.GetParent(&out, static_cast<DeviceNode>(leaf)), cr::kSuccess);
  EXPECT_EQ(out, root);
}

TEST(SimDeviceTree, BrokenWalkRefusesTheRootAndChildWritesNothing) {
  auto world = MakeSingleCameraWorld(SimCameraConfig{});
  world->SetBrokenTreeWalk(true);
  DeviceNode out = 777;
  EXPECT_EQ(world->LocateRoot(&out), cr::kCallNotImplemented);
  EXPECT_EQ(world->GetChild(&out, 1), cr::kSuccess);
  EXPECT_EQ(out, 777u);
  EXPECT_TRUE(Walk(*world).empty());
}

}  // namespace
}  // namespace velkor::sim
