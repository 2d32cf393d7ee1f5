// The transport and the access library running over the uvcvideo adapter, with the simulated
// camera behind the fake kernel: every request crosses the adapter's byte conversions.
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include <linux/videodev2.h>

#include "access/access_calls.h"
#include "access/access_context.h"
#include "access/device.h"
#include "platform/linux/uvc_capture_system.h"
#include "platform/ports.h"
#include "rigs/sim/sim_camera.h"
#include "rigs/sim/virtual_clock.h"
#include "tests/platform/linux/fake_sysfs.h"
#include "tests/platform/linux/fake_uvc_device_io.h"
#include "tests/platform/linux/sim_uvc_bridge.h"
#include "tests/platform/linux/uvc_descriptor_builder.h"
#include "transport/bound_device.h"
#include "transport/capture_devices.h"

namespace velkor::linux_platform {
namespace {

using testing::FakeSysfs;
using testing::FakeUvcDeviceIo;
using testing::SimUvcBridge;

// A camera whose flash holds a pattern, so that a read that loses or moves bytes shows.
sim::SimCameraConfig PatternedCamera() {
  sim::SimCameraConfig config;
  config.initialFlash.resize(0x10000);
  for (std::size_t i = 0; i < config.initialFlash.size(); ++i) {
    config.initialFlash[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
  }
  return config;
}

class UvcSimCameraTest : public ::testing::Test {
 protected:
  UvcSimCameraTest()
      : camera_(std::make_shared<sim::SimCamera>(PatternedCamera(), clock_)),
        bridge_(camera_, /*vendorUnit=*/4),
        system_(io_, UvcLocations{sysfs_.root(), "/fake-dev"}) {
    sysfs_.AddDevice("usb1", "", "1d6b", "0002", "0601");
    sysfs_.AddDevice("1-2", "usb1", "5d1a", "c03e", "0100", testing::TwoExtensionUnitCamera());
    sysfs_.AddInterface("1-2:1.0", "1-2", "00", "0e", "01");
    sysfs_.AddVideoNode("video0", "1-2:1.0");
    sysfs_.AddVideoNode("video1", "1-2:1.0");
    io_.AddNode("/fake-dev/video0", V4L2_CAP_VIDEO_CAPTURE);
    io_.AddNode("/fake-dev/video1", V4L2_CAP_META_CAPTURE);
    io_.SetQueryHandler(
        [this](std::uint8_t unit, std::uint8_t selector, std::uint8_t query, std::uint16_t size,
               std::uint8_t* data) { return bridge_(unit, selector, query, size, data); });
  }

  void SetUp() override {
    access::context = access::AccessContext{};
    transport::boundDevice = transport::BoundDevice{};
    Ports ports;
    ports.captureSystem = &system_;
    ports.clock = &clock_;
    InstallPorts(ports);
  }

  void TearDown() override {
    access::CloseDevice();
    access::context = access::AccessContext{};
    transport::boundDevice = transport::BoundDevice{};
    InstallPorts(Ports{});
  }

  // Lists the devices into the application's 10 x 256 array; returns the paths found.
  std::vector<std::u16string> List() {
    std::vector<char16_t> paths(10 * 256, u'\0');
    int counter = -1;
    access::ListCaptureDevices(paths.data(), 10, 256, &counter);
    std::vector<std::u16string> out;
    for (int i = 0; i < counter; ++i) {
      out.emplace_back(paths.data() + i * 256);
    }
    return out;
  }

  int Open(const std::u16string& path) {
    std::vector<char16_t> buffer(256, u'\0');
    std::copy(path.begin(), path.end(), buffer.begin());
    return access::OpenDevice(buffer.data(), 256);
  }

  sim::VirtualClock clock_;
  std::shared_ptr<sim::SimCamera> camera_;
  SimUvcBridge bridge_;
  FakeSysfs sysfs_;
  FakeUvcDeviceIo io_;
  UvcCaptureSystem system_;
};

TEST_F(UvcSimCameraTest, CameraIsListedOpenedAndIdentifiedThroughTheVendorUnit) {
  std::vector<std::u16string> paths = List();

  ASSERT_EQ(paths.size(), 1u);
  EXPECT_NE(paths[0].find(u"vid_5d1a&pid_c03e"), std::u16string::npos);
  ASSERT_EQ(Open(paths[0]), 2);
  EXPECT_EQ(transport::boundDevice.extensionNodeId, 3u);  // the fourth entity is the vendor unit
  for (const testing::RecordedQuery& query : io_.queries) {
    EXPECT_EQ(query.unit, 4);
  }
  EXPECT_EQ(io_.OpenFiles(), 1u);  // the bound filter keeps its node open

  access::CloseDevice();
  EXPECT_EQ(io_.OpenFiles(), 0u);
}

TEST_F(UvcSimCameraTest, FlashBytesRoundTripThroughTheAdapter) {
  ASSERT_EQ(Open(List().at(0)), 2);
  std::vector<std::uint8_t> expected(64);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    expected[i] = camera_->flash().content()[0x100 + i];
  }

  std::vector<std::uint8_t> read(64, 0);
  ASSERT_TRUE(access::ReadMemory(0x100, read.data(), 64));

  EXPECT_EQ(read, expected);
}

TEST_F(UvcSimCameraTest, UnitWithoutTheControlsIsNeverIdentified) {
  bridge_.failSelector = 4;
  bridge_.failErrno = ENOENT;

  EXPECT_TRUE(List().empty());
  EXPECT_EQ(Open(u"\\\\?\\usb#vid_5d1a&pid_c03e&mi_00#1-2:1.0#"
                 u"{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global"),
            0);
}

TEST_F(UvcSimCameraTest, StalledOrUnpluggedRequestsFailTheCall) {
  ASSERT_EQ(Open(List().at(0)), 2);
  std::uint8_t value = 0;

  bridge_.failSelector = 1;
  bridge_.failErrno = EIO;
  EXPECT_FALSE(access::ReadRegister(0x1006, &value));

  bridge_.failSelector = -1;
  EXPECT_TRUE(access::ReadRegister(0x1006, &value));
  bridge_.unplugAfter = bridge_.queriesSeen;
  EXPECT_FALSE(access::ReadRegister(0x1006, &value));
  EXPECT_FALSE(access::WriteRegister(0x1006, 0x08));
}

}  // namespace
}  // namespace velkor::linux_platform
