// The adapters against the system they run on (Wine in the test run): the Configuration
// Manager walk, the DirectShow enumeration, module resources and the clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/win32/cm_device_tree.h"
#include "platform/win32/com_capture_system.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_dialog_backend.h"
#include "platform/win32/win32_process.h"
#include "resources/firmware_image.h"

namespace velkor::win32 {
namespace {

TEST(CmDeviceTreeTest, MovesAreReportedOnlyToAnotherNodeAndFailuresLeaveTheOutputAlone) {
  CmDeviceTree tree;
  DeviceNode root = 0xABCD;
  const int located = tree.LocateRoot(&root);
  if (located != cr::kSuccess) {
    EXPECT_EQ(root, 0xABCDu) << "a failed locate must not write the root";
  }
  // Whatever the system answers, a successful move names a node other than the one it started
  // from; otherwise the walk would loop forever on one node.
  const DeviceNode start = located == cr::kSuccess ? root : 1;
  using Move = int (CmDeviceTree::*)(DeviceNode*, DeviceNode);
  for (Move move : {&CmDeviceTree::GetChild, &CmDeviceTree::GetSibling, &CmDeviceTree::GetParent}) {
    DeviceNode out = 0x5EED;
    const int result = (tree.*move)(&out, start);
    if (result == cr::kSuccess) {
      EXPECT_NE(out, start);
    } else {
      EXPECT_EQ(out, 0x5EEDu);
    }
  }
}

TEST(CmDeviceTreeTest, PropertyReadsEndInATerminatorOrFail) {
  CmDeviceTree tree;
  DeviceNode node = 1;
  tree.LocateRoot(&node);
  for (int property : {kPropertyClass, kPropertyHardwareId}) {
    char buffer[260];
    std::memset(buffer, 'x', sizeof(buffer));
    std::uint32_t length = sizeof(buffer);
    if (tree.GetProperty(node, property, buffer, &length) == cr::kSuccess) {
      EXPECT_NE(std::find(buffer, buffer + sizeof(buffer), '\0'), buffer + sizeof(buffer));
    }
  }
  char tiny[1] = {'x'};
  std::uint32_t none = 0;
  EXPECT_NE(tree.GetProperty(node, kPropertyClass, tiny, &none), cr::kSuccess);
  EXPECT_EQ(tiny[0], 'x');
}

TEST(ComCaptureSystemTest, EnumerationWithoutCamerasEndsCleanly) {
  ComCaptureSystem system;
  ASSERT_TRUE(hr::Succeeded(system.BeginSession()));
  std::unique_ptr<SystemDeviceEnumerator> devices;
  ASSERT_EQ(system.CreateSystemDeviceEnumerator(&devices), hr::kOk);
  ASSERT_NE(devices, nullptr);

  std::unique_ptr<CaptureDeviceEnumerator> videoInputs;
  const HResult result = devices->CreateVideoInputEnumerator(&videoInputs);
  // An empty category answers S_FALSE and no enumerator; with devices the enumerator exists.
  if (result == hr::kOk) {
    ASSERT_NE(videoInputs, nullptr);
    EXPECT_EQ(videoInputs->Reset(), hr::kOk);
  } else {
    EXPECT_EQ(result, hr::kFalse);
    EXPECT_EQ(videoInputs, nullptr);
  }
  videoInputs.reset();
  devices.reset();
  system.EndSession();
}

TEST(Win32ModuleResourcesTest, FirmwareImageIsEmbeddedAsByteResource131) {
  Win32ModuleResources resources;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;

  ASSERT_TRUE(resources.Find("BYTE", 131, &data, &size));

  ASSERT_EQ(size, kFirmwareImageSize);
  const auto expected = EmbeddedFirmwareImage();
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), data));
  EXPECT_FALSE(resources.Find("BYTE", 132, &data, &size));
  EXPECT_FALSE(resources.Find("NOSUCHTYPE", 131, &data, &size));
}

TEST(Win32DialogBackendTest, ApplicationIconAndDefaultGuiFontComeFromTheSystem) {
  Win32DialogBackend backend;

  EXPECT_NE(backend.LoadAppIcon(128), nullptr);
  EXPECT_EQ(backend.LoadAppIcon(129), nullptr);
  LOGFONTA font{};
  ASSERT_TRUE(backend.DefaultGuiFont(&font));
  EXPECT_NE(font.lfHeight, 0);
  EXPECT_NE(font.lfFaceName[0], '\0');
}

TEST(Win32ClockTest, SleepWaitsAtLeastRoughlyTheRequestedTime) {
  Win32Clock clock;
  const std::uint64_t before = clock.NowMs();
  clock.SleepMs(50);
  const std::uint64_t elapsed = clock.NowMs() - before;
  // GetTickCount64 ticks in 10-16 ms steps: allow one step of slack below.
  EXPECT_GE(elapsed, 34u);
  EXPECT_LT(elapsed, 5000u);
}

}  // namespace
}  // namespace velkor::win32
