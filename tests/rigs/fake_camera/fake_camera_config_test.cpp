// The fake camera's configuration file: the simulator's options with the rig's own on top.
#include "rigs/fake_camera/fake_camera_config.h"

#include <gtest/gtest.h>

namespace velkor::fakecam {
namespace {

TEST(FakeCameraConfigTest, EmptyFileGivesTheSimulatorsDefaultCameraFromTheStart) {
  const FakeCameraConfigResult parsed = ParseFakeCameraConfig("");
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.config.sim.camera.chipRow, sim::DefaultSimFrontendOptions().camera.chipRow);
  EXPECT_FALSE(parsed.config.sim.camera.initialFlash.empty());
  EXPECT_EQ(parsed.config.sim.attachAtMs, 0u);
  EXPECT_FALSE(parsed.config.otherDeviceFirst);
  EXPECT_EQ(parsed.config.stateFile, "fake-camera-state.txt");
}

TEST(FakeCameraConfigTest, RigAndSimulatorOptionsMixAcrossLinesWithComments) {
  const FakeCameraConfigResult parsed = ParseFakeCameraConfig(
      "# a camera that arrives late\n"
      "--attach 3 --chip-row 9\n"
      "--erase-ms=250   # short, for the time budget\n"
      "--status-write-ms 0 --other-device-first\n"
      "--unplug-after 6000 --state-file out/state.txt --pace-requests 8\n"
      "--camera-state out/camera.state --replugged\n");
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.config.sim.attachAtMs, sim::AttachTimeForTick(3));
  EXPECT_EQ(parsed.config.sim.camera.chipRow, 9);
  EXPECT_EQ(parsed.config.sim.camera.chipEraseMs, 250u);
  EXPECT_EQ(parsed.config.sim.camera.statusWriteMs, 0u);
  EXPECT_TRUE(parsed.config.otherDeviceFirst);
  EXPECT_EQ(parsed.config.sim.faults.unplugAfterRequests, 6000u);
  EXPECT_EQ(parsed.config.stateFile, "out/state.txt");
  EXPECT_EQ(parsed.config.pauseEveryRequests, 8u);
  EXPECT_EQ(parsed.config.sim.cameraStatePath, "out/camera.state");
  EXPECT_TRUE(parsed.config.sim.replugged);
}

TEST(FakeCameraConfigTest, RefusesBadValuesAndTheSimulatorProgramsRunOptions) {
  for (const char* text :
       {"--erase-ms", "--erase-ms fast", "--erase-ms -1", "--state-file", "--fast", "--image x.bin",
        "--help", "--chip-row 19", "--bogus", "--camera-state", "--replugged"}) {
    const FakeCameraConfigResult parsed = ParseFakeCameraConfig(text);
    EXPECT_FALSE(parsed.ok) << text;
    EXPECT_FALSE(parsed.error.empty()) << text;
  }
}

}  // namespace
}  // namespace velkor::fakecam
