// The adapters against the system they run on (Wine in the test run): the Configuration
// Manager walk, the DirectShow enumeration, module resources and the clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

#include "platform/win32/cm_device_tree.h"
#include "platform/win32/com_capture_system.h"
#include "platform/win32/mutex_camera_lock.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_dialog_backend.h"
#include "platform/win32/win32_process.h"
#include "resources/firmware_image.h"

namespace velkor::win32 {
namespace {

const std::u16string kCameraPath =
    u"\\\\?\\usb#vid_1bcf&pid_2c99&mi_00#7&1a2b3c4d&0&0000#{65e8773d-8f56-11d0-a3b9-"
    u"00a0c9223196}\\global";

// What another holder would get: a mutex is re-entrant for its owning thread, so the second
// holder asks from a thread of its own.
LockOutcome AcquireElsewhere(MutexCameraLock& lock, const std::u16string& path) {
  LockOutcome outcome = LockOutcome::kFailed;
  std::thread([&] {
    std::string holder;
    outcome = lock.Acquire(path, &holder);
  }).join();
  return outcome;
}

TEST(MutexCameraLockTest, SecondHolderOfOneCameraIsRefusedUntilTheFirstReleases) {
  MutexCameraLock first;
  MutexCameraLock second;
  std::string holder;
  ASSERT_EQ(first.Acquire(kCameraPath, &holder), LockOutcome::kAcquired);
  EXPECT_EQ(AcquireElsewhere(second, kCameraPath), LockOutcome::kBusy);
  std::u16string upper = kCameraPath;
  for (char16_t& c : upper) {
    c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
  }
  EXPECT_EQ(AcquireElsewhere(second, upper), LockOutcome::kBusy) << "device paths ignore case";
  MutexCameraLock other;
  EXPECT_EQ(AcquireElsewhere(other, kCameraPath + u"2"), LockOutcome::kAcquired);
  first.Release();
  EXPECT_EQ(AcquireElsewhere(second, kCameraPath), LockOutcome::kAcquired);
}

TEST(MutexCameraLockTest, NameIsGlobalWithoutBackslashesAndBoundedForLongPaths) {
  const std::wstring name = CameraMutexName(kCameraPath);
  EXPECT_EQ(name.rfind(L"Global\\velkor-camera-", 0), 0u);
  EXPECT_EQ(name.find(L'\\', 7), std::wstring::npos);
  const std::wstring longName = CameraMutexName(kCameraPath + std::u16string(400, u'x'));
  EXPECT_LT(longName.size(), 260u);
  EXPECT_NE(longName, CameraMutexName(kCameraPath + std::u16string(401, u'x')));
}

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
