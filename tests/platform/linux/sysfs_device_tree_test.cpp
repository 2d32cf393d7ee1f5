// The sysfs device tree over a fake sysfs: shape of the walk, classes, hardware-id lists and
// the buffer rules of property reads.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/linux/sysfs_device_tree.h"
#include "tests/platform/linux/fake_sysfs.h"

namespace velkor::linux_platform {
namespace {

using testing::FakeSysfs;

class SysfsDeviceTreeTest : public ::testing::Test {
 protected:
  SysfsDeviceTreeTest() : tree_(sysfs_.root()) {
    sysfs_.AddDevice("usb1", "", "1d6b", "0002", "0601");
    sysfs_.AddInterface("1-0:1.0", "usb1", "00", "09", "00");
    sysfs_.AddDevice("usb2", "", "1d6b", "0003", "0601");
  }

  // The camera's device and interfaces, and with the driver bound, the VideoControl
  // interface's capture and metadata nodes.
  void PlugCamera(bool driverBound = true) {
    sysfs_.AddDevice("1-2", "usb1", "5d1a", "c03e", "0100");
    sysfs_.AddInterface("1-2:1.0", "1-2", "00", "0e", "01");
    sysfs_.AddInterface("1-2:1.1", "1-2", "01", "0e", "02");
    if (driverBound) {
      sysfs_.AddVideoNode("video0", "1-2:1.0");
      sysfs_.AddVideoNode("video1", "1-2:1.0");
    }
  }

  // Node names in depth-first pre-order, each with its depth, read back through the port.
  std::vector<std::string> Walk() {
    std::vector<std::string> seen;
    DeviceNode root = 0;
    EXPECT_EQ(tree_.LocateRoot(&root), cr::kSuccess);
    Visit(root, 0, seen);
    return seen;
  }

  void Visit(DeviceNode node, int depth, std::vector<std::string>& seen) {
    seen.push_back(std::string(static_cast<std::size_t>(depth), ' ') + Describe(node));
    DeviceNode child = 0;
    if (tree_.GetChild(&child, node) != cr::kSuccess) {
      return;
    }
    do {
      DeviceNode parent = 0;
      EXPECT_EQ(tree_.GetParent(&parent, child), cr::kSuccess);
      EXPECT_EQ(parent, node);
      Visit(child, depth + 1, seen);
    } while (tree_.GetSibling(&child, child) == cr::kSuccess);
  }

  // "class first-hardware-id", or "-" for what the node lacks.
  std::string Describe(DeviceNode node) {
    char buffer[260];
    std::uint32_t length = sizeof(buffer);
    std::string text =
        tree_.GetProperty(node, kPropertyClass, buffer, &length) == cr::kSuccess ? buffer : "-";
    length = sizeof(buffer);
    text += ' ';
    text += tree_.GetProperty(node, kPropertyHardwareId, buffer, &length) == cr::kSuccess ? buffer
                                                                                          : "-";
    return text;
  }

  FakeSysfs sysfs_;
  SysfsDeviceTree tree_;
};

TEST_F(SysfsDeviceTreeTest, WalkNestsInterfacesUnderDevicesUnderHubsBelowTheRoot) {
  PlugCamera();

  EXPECT_EQ(Walk(), (std::vector<std::string>{
                        "- -",
                        " USB USB\\VID_1D6B&PID_0002&REV_0601",
                        "  USB USB\\VID_1D6B&PID_0002&REV_0601&MI_00",
                        "  USB USB\\VID_5D1A&PID_C03E&REV_0100",
                        "   Image USB\\VID_5D1A&PID_C03E&REV_0100&MI_00",
                        "   USB USB\\VID_5D1A&PID_C03E&REV_0100&MI_01",
                        " USB USB\\VID_1D6B&PID_0003&REV_0601",
                    }));
}

TEST_F(SysfsDeviceTreeTest, VideoInterfaceIsAnImagingDeviceOnlyOnceItHasAVideoNode) {
  PlugCamera(/*driverBound=*/false);
  const std::string probing = Walk().at(4);

  sysfs_.AddVideoNode("video0", "1-2:1.0");

  EXPECT_EQ(probing, "   USB USB\\VID_5D1A&PID_C03E&REV_0100&MI_00");
  EXPECT_EQ(Walk().at(4), "   Image USB\\VID_5D1A&PID_C03E&REV_0100&MI_00");
}

TEST_F(SysfsDeviceTreeTest, HardwareIdListIsDoubleZeroTerminatedWithTheGeneralIdSecond) {
  PlugCamera();
  DeviceNode node = 0;
  ASSERT_EQ(tree_.LocateRoot(&node), cr::kSuccess);
  ASSERT_EQ(tree_.GetChild(&node, node), cr::kSuccess);    // usb1
  ASSERT_EQ(tree_.GetChild(&node, node), cr::kSuccess);    // 1-0:1.0
  ASSERT_EQ(tree_.GetSibling(&node, node), cr::kSuccess);  // 1-2
  ASSERT_EQ(tree_.GetChild(&node, node), cr::kSuccess);    // 1-2:1.0

  char buffer[260];
  std::memset(buffer, 0x7E, sizeof(buffer));
  std::uint32_t length = sizeof(buffer);
  ASSERT_EQ(tree_.GetProperty(node, kPropertyHardwareId, buffer, &length), cr::kSuccess);

  const std::string expected(
      "USB\\VID_5D1A&PID_C03E&REV_0100&MI_00\0USB\\VID_5D1A&PID_C03E&MI_00\0\0", 66);
  EXPECT_EQ(length, expected.size());
  EXPECT_EQ(std::string(buffer, length), expected);
  EXPECT_EQ(buffer[length], 0x7E);  // nothing written past the list
}

TEST_F(SysfsDeviceTreeTest, BufferTooSmallFailsAndLeavesTheBufferAlone) {
  PlugCamera();
  DeviceNode root = 0;
  DeviceNode hub = 0;
  ASSERT_EQ(tree_.LocateRoot(&root), cr::kSuccess);
  ASSERT_EQ(tree_.GetChild(&hub, root), cr::kSuccess);

  char buffer[8];
  std::memset(buffer, 0x7E, sizeof(buffer));
  std::uint32_t length = sizeof(buffer);
  EXPECT_EQ(tree_.GetProperty(hub, kPropertyHardwareId, buffer, &length), cr::kBufferSmall);
  EXPECT_EQ(length, 54u);  // the size the list needs
  EXPECT_EQ(buffer[0], 0x7E);

  length = 3;  // "USB" without room for its terminator
  EXPECT_EQ(tree_.GetProperty(hub, kPropertyClass, buffer, &length), cr::kBufferSmall);
  length = 4;
  EXPECT_EQ(tree_.GetProperty(hub, kPropertyClass, buffer, &length), cr::kSuccess);
  EXPECT_STREQ(buffer, "USB");
}

TEST_F(SysfsDeviceTreeTest, RootAndUnknownNodesHaveNoPropertiesOrRelatives) {
  DeviceNode root = 0;
  ASSERT_EQ(tree_.LocateRoot(&root), cr::kSuccess);
  char buffer[260];
  std::uint32_t length = sizeof(buffer);
  DeviceNode out = 12345;

  EXPECT_EQ(tree_.GetProperty(root, kPropertyClass, buffer, &length), cr::kNoSuchValue);
  EXPECT_EQ(tree_.GetParent(&out, root), cr::kNoSuchDevNode);
  EXPECT_EQ(tree_.GetSibling(&out, root), cr::kNoSuchDevNode);
  EXPECT_EQ(tree_.GetChild(&out, 999), cr::kNoSuchDevNode);
  EXPECT_EQ(tree_.GetProperty(999, kPropertyClass, buffer, &length), cr::kNoSuchDevNode);
  EXPECT_EQ(out, 12345u);
}

TEST_F(SysfsDeviceTreeTest, UnplugRemovesTheCameraAndReplugKeepsItsHandle) {
  PlugCamera();
  ASSERT_EQ(Walk().size(), 7u);
  DeviceNode root = 0;
  DeviceNode hub = 0;
  DeviceNode camera = 0;
  tree_.LocateRoot(&root);
  tree_.GetChild(&hub, root);
  tree_.GetChild(&camera, hub);
  tree_.GetSibling(&camera, camera);

  sysfs_.Remove("1-2:1.0");
  sysfs_.Remove("1-2:1.1");
  sysfs_.Remove("1-2");
  EXPECT_EQ(Walk().size(), 4u);
  char buffer[260];
  std::uint32_t length = sizeof(buffer);
  EXPECT_EQ(tree_.GetProperty(camera, kPropertyClass, buffer, &length), cr::kNoSuchDevNode);

  PlugCamera();
  EXPECT_EQ(Walk().size(), 7u);
  length = sizeof(buffer);
  EXPECT_EQ(tree_.GetProperty(camera, kPropertyHardwareId, buffer, &length), cr::kSuccess);
  EXPECT_STREQ(buffer, "USB\\VID_5D1A&PID_C03E&REV_0100");
}

}  // namespace
}  // namespace velkor::linux_platform
