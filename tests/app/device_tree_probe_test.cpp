// The presence test over hand-built device trees, including trees whose walk misbehaves.
#include "app/device_tree_probe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ports.h"

namespace velkor::app {
namespace {

using namespace std::string_literals;

// Node 0 is the root; handles are indices. An empty text means "no such property".
class FakeTree : public DeviceTree {
 public:
  FakeTree() { nodes_.push_back({-1, "Computer", "ROOT\\ACPI_HAL"s}); }

  int Add(int parent, std::string className, std::string ids) {
    nodes_.push_back({parent, std::move(className), std::move(ids)});
    return static_cast<int>(nodes_.size() - 1);
  }

  int LocateRoot(DeviceNode* out) override {
    if (rootFails) {
      return cr::kCallNotImplemented;
    }
    *out = 0;
    return cr::kSuccess;
  }
  int GetChild(DeviceNode* out, DeviceNode node) override {
    ++moves;
    if (childSucceedsWithoutWriting) {
      return cr::kSuccess;
    }
    return First(
        out, [&](int i) { return nodes_[i].parent == static_cast<int>(node); }, 0);
  }
  int GetSibling(DeviceNode* out, DeviceNode node) override {
    ++moves;
    if (siblingLoopsBackTo >= 0 && node == nodes_.size() - 1) {
      *out = static_cast<DeviceNode>(siblingLoopsBackTo);
      return cr::kSuccess;
    }
    const int parent = nodes_[node].parent;
    return First(
        out, [&](int i) { return nodes_[i].parent == parent && parent >= 0; }, node + 1);
  }
  int GetParent(DeviceNode* out, DeviceNode node) override {
    if (nodes_[node].parent < 0) {
      return cr::kNoSuchDevNode;
    }
    *out = static_cast<DeviceNode>(nodes_[node].parent);
    return cr::kSuccess;
  }
  int GetProperty(DeviceNode node, int property, char* buffer, std::uint32_t* length) override {
    const std::string& text =
        property == kPropertyClass ? nodes_[node].className : nodes_[node].hardwareIds;
    if (text.empty()) {
      return cr::kNoSuchValue;
    }
    const std::string value = text + '\0' + (property == kPropertyHardwareId ? "\0"s : ""s);
    if (value.size() > *length) {
      return cr::kBufferSmall;
    }
    value.copy(buffer, value.size());
    return cr::kSuccess;
  }

  bool rootFails = false;
  bool childSucceedsWithoutWriting = false;
  int siblingLoopsBackTo = -1;
  int moves = 0;

 private:
  struct Node {
    int parent;
    std::string className;
    std::string hardwareIds;
  };
  template <typename Match>
  int First(DeviceNode* out, Match match, std::size_t from) {
    for (std::size_t i = from; i < nodes_.size(); ++i) {
      if (match(static_cast<int>(i))) {
        *out = static_cast<DeviceNode>(i);
        return cr::kSuccess;
      }
    }
    return cr::kNoSuchDevNode;
  }
  std::vector<Node> nodes_;
};

class ProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Ports ports;
    ports.deviceTree = &tree_;
    InstallPorts(ports);
  }
  void TearDown() override { InstallPorts(Ports{}); }

  // A USB controller with a hub, as most trees have, for the camera to hang under.
  int Hub() {
    const int pci = tree_.Add(0, "System", "ACPI\\PNP0A08"s);
    const int xhci = tree_.Add(pci, "USB", "PCI\\VEN_1B36&DEV_000D"s);
    return tree_.Add(xhci, "USB", "USB\\ROOT_HUB30"s);
  }

  FakeTree tree_;
};

TEST_F(ProbeTest, ImageNodeWithTheIdInCapitalsIsTheCamera) {
  tree_.Add(Hub(), "Image", "USB\\VID_5D1A&PID_C03E&REV_0100&MI_00\0USB\\VID_5D1A&PID_C03E"s);
  EXPECT_EQ(ProbeDeviceTree(), kProbeCameraPresent);
}

TEST_F(ProbeTest, ClassNameMustBeImageInExactlyThatCase) {
  tree_.Add(Hub(), "image", "usb\\vid_5d1a&pid_c03e&mi_00"s);
  EXPECT_EQ(ProbeDeviceTree(), kProbeAbsent);
}

TEST_F(ProbeTest, ImageNodesWithoutTheFullIdCountAsAnotherImageDevice) {
  const int hub = Hub();
  tree_.Add(hub, "Image", "usb\\vid_5d1a&pid_c03"s);                           // 20 characters
  tree_.Add(hub, "Image", "USB\\VID_0C45&PID_6A10\0USB\\VID_5D1A&PID_C03E"s);  // not the first
  tree_.Add(hub, "Image", ""s);  // no hardware id at all
  EXPECT_EQ(ProbeDeviceTree(), kProbeOtherImage);
}

TEST_F(ProbeTest, TreeWithoutAnyImageNodeOrWithoutARootIsAbsent) {
  tree_.Add(Hub(), "HIDClass", "USB\\VID_0627&PID_0001"s);
  EXPECT_EQ(ProbeDeviceTree(), kProbeAbsent);
  tree_.Add(Hub(), "Image", "USB\\VID_5D1A&PID_C03E&MI_00"s);
  tree_.rootFails = true;
  EXPECT_EQ(ProbeDeviceTree(), kProbeAbsent);
}

TEST_F(ProbeTest, CameraDeepInASubtreeVisitedLastIsFound) {
  const int first = Hub();
  tree_.Add(tree_.Add(first, "USB", "USB\\VID_0627&PID_0001"s), "Mouse", "HID\\VID_0627"s);
  const int second = tree_.Add(0, "System", "ROOT\\SYSTEM"s);
  const int deep = tree_.Add(tree_.Add(tree_.Add(second, "USB", "x"s), "USB", "y"s), "USB", "z"s);
  tree_.Add(deep, "Image", "USB\\VID_5D1A&PID_C03E&MI_00"s);
  EXPECT_EQ(ProbeDeviceTree(), kProbeCameraPresent);
}

TEST_F(ProbeTest, ClassNameTooLongForTheBufferSkipsOnlyThatNode) {
  const int hub = Hub();
  tree_.Add(hub, std::string(300, 'X'), "USB\\VID_5D1A&PID_C03E"s);
  tree_.Add(hub, "Image", "USB\\VID_5D1A&PID_C03E&MI_00"s);
  EXPECT_EQ(ProbeDeviceTree(), kProbeCameraPresent);
}

// Wine's Configuration Manager answers success from CM_Get_Child without writing the child.
TEST_F(ProbeTest, ChildCallThatSucceedsWithoutMovingEndsTheWalk) {
  tree_.Add(Hub(), "Image", "USB\\VID_5D1A&PID_C03E&MI_00"s);
  tree_.childSucceedsWithoutWriting = true;
  EXPECT_EQ(ProbeDeviceTree(), kProbeAbsent);
  EXPECT_EQ(tree_.moves, 1);
}

TEST_F(ProbeTest, SiblingChainThatCirclesBackEndsAfterABoundedWalk) {
  const int hub = Hub();
  tree_.Add(hub, "Image", "USB\\VID_0C45&PID_6A10"s);
  tree_.siblingLoopsBackTo = tree_.Add(hub, "Net", "x"s) - 1;
  EXPECT_EQ(ProbeDeviceTree(), kProbeOtherImage);
  EXPECT_LT(tree_.moves, 1000000);
}

}  // namespace
}  // namespace velkor::app
