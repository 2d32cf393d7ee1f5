// The world the front end builds from its options.
#include "rigs/sim_frontend/sim_world_builder.h"

#include <gtest/gtest.h>

namespace velkor::sim {
namespace {

TEST(SimWorldBuilderDefaults, CameraIsAttachedFromTheStartAtTheCameraPath) {
  auto world = BuildSimWorld(DefaultSimFrontendOptions());
  EXPECT_TRUE(world->CameraAttached());
  EXPECT_EQ(world->device(kSimCameraDevice).devicePath, std::u16string(kSimCameraPath));
  ASSERT_NE(world->device(kSimCameraDevice).camera, nullptr);
  EXPECT_TRUE(world->device(kSimCameraDevice).camera->WriteProtectActive());
}

TEST(SimWorldBuilderOptions, FaultsAndWiringReachTheCameraAndItsDevice) {
  const SimOptionsResult parsed = ParseSimOptions(
      {"--fail-selector", "3", "--fail-result", "1", "--unplug-after", "77", "--wp-pin", "6",
       "--wp-wiring", "direct", "--chip-row", "9", "--probe-result", "1"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  auto world = BuildSimWorld(parsed.options);
  const SimCaptureDeviceConfig& device = world->device(kSimCameraDevice);
  EXPECT_EQ(device.faults.failSelector, 3);
  EXPECT_EQ(device.faults.failResult, hr::kFalse);
  EXPECT_EQ(device.faults.unplugAfterRequests, 77u);
  ASSERT_NE(device.camera, nullptr);
  EXPECT_EQ(device.camera->config().wpPin, 6);
  EXPECT_FALSE(device.camera->config().wpInverted);
  EXPECT_EQ(device.camera->config().chipRow, 9);
  EXPECT_EQ(device.camera->config().transferBusyPolls, 1u);
  EXPECT_EQ(device.topology[2].probeResult, hr::kFalse);
}

TEST(SimWorldBuilderAttach, CameraAppearsAtItsTimeOrNever) {
  SimFrontendOptions options = DefaultSimFrontendOptions();
  options.attachAtMs = AttachTimeForTick(2);
  auto world = BuildSimWorld(options);
  world->clock().Advance(1499);
  EXPECT_FALSE(world->CameraAttached());
  world->clock().Advance(1);
  EXPECT_TRUE(world->CameraAttached());

  options.attachAtMs = kNeverAttached;
  auto never = BuildSimWorld(options);
  never->clock().Advance(3600 * 1000);
  EXPECT_FALSE(never->CameraAttached());
}

TEST(SimWorldBuilderSeveralCameras, EachCameraHasItsPortFaultsAndTimeToAppear) {
  std::vector<PlacedSimCamera> cameras(3, {u"", DefaultSimFrontendOptions()});
  for (int i = 0; i < 3; ++i) {
    cameras[static_cast<std::size_t>(i)].path = SimCameraPath(i + 1);
  }
  cameras[1].options.attachAtMs = AttachTimeForTick(2);
  cameras[1].options.faults.failSelector = 4;
  cameras[2].options.camera.chipRow = 0;
  cameras[2].options.attachAtMs = kNeverAttached;
  auto world = BuildSimWorld(cameras);
  ASSERT_EQ(world->DeviceCount(), kSimCameraDevice + 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(world->device(kSimCameraDevice + i).devicePath, SimCameraPath(i + 1));
  }
  EXPECT_EQ(world->device(kSimCameraDevice + 1).faults.failSelector, 4);
  EXPECT_EQ(world->device(kSimCameraDevice).faults.failSelector, -1);
  EXPECT_EQ(world->device(kSimCameraDevice + 2).camera->config().chipRow, 0);
  auto present = [&world] {
    std::vector<bool> shown;
    for (int i = 0; i < 3; ++i) {
      shown.push_back(world->DevicePresent(kSimCameraDevice + i));
    }
    return shown;
  };
  EXPECT_EQ(present(), (std::vector<bool>{true, false, false}));
  world->clock().Advance(AttachTimeForTick(2));
  EXPECT_EQ(present(), (std::vector<bool>{true, true, false}));
  world->clock().Advance(3600 * 1000);
  EXPECT_EQ(present(), (std::vector<bool>{true, true, false}));
}

}  // namespace
}  // namespace velkor::sim
