// A camera's state saved in the middle of an update and put back into a fresh camera: as the
// file, as the same camera left attached, and as the camera re-plugged.
#include <gtest/gtest.h>

#include <string>

#include "rigs/sim/sim_camera.h"
#include "rigs/sim/sim_camera_state_file.h"
#include "tests/rigs/sim/flash_port_host.h"

namespace velkor::sim {
namespace {

using testing::FlashPortHost;

constexpr std::uint8_t kOld = 0x5A;

SimCameraConfig ProtectedCamera() {
  SimCameraConfig config;
  config.chipRow = 18;
  config.initialFlash.assign(SimFlash::kSize, kOld);
  config.initialStatus = 0x8C;
  config.chipEraseMs = 800;
  return config;
}

// The host has released the protection, cleared the status register and started the chip
// erase; it is 300 ms into the erase and has one write enable clocked but not deselected.
SimCameraState StateMidErase(VirtualClock& clock, SimCamera& camera) {
  FlashPortHost host(camera);
  host.SetUpFlashAccess(camera.flash().kind());
  host.ReleaseWriteProtectPin();
  host.Write(0x1080, 1);
  host.Command({0x06});
  host.Command({0x01, 0x00});
  clock.Advance(100);
  host.Command({0x06});
  host.Command({camera.flash().AcceptsEraseOpcode(0x60) ? std::uint8_t{0x60} : std::uint8_t{0xC7}});
  clock.Advance(300);
  host.Write(0x1091, 0);
  host.SendByte(0x06);
  return camera.SaveState();
}

class SimCameraStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SimCamera first(ProtectedCamera(), firstClock_);
    saved_ = StateMidErase(firstClock_, first);
    ASSERT_TRUE(first.flash().Busy());
    std::string error;
    SimCameraState parsed;
    ASSERT_TRUE(ParseCameraState(FormatCameraState(saved_), &parsed, &error)) << error;
    camera_ = std::make_unique<SimCamera>(ProtectedCamera(), clock_);
    ASSERT_TRUE(camera_->LoadState(parsed, &error)) << error;
  }

  VirtualClock firstClock_;
  VirtualClock clock_;
  SimCameraState saved_;
  std::unique_ptr<SimCamera> camera_;
};

TEST_F(SimCameraStateTest, LeftAttachedTheCameraGoesOnWhereItStood) {
  EXPECT_EQ(camera_->Register(0x1006), 0xF7);
  EXPECT_EQ(camera_->Register(0x1007), 0x08);
  EXPECT_EQ(camera_->Register(0x5F3), 0x06);
  EXPECT_FALSE(camera_->WriteProtectActive());
  EXPECT_EQ(camera_->flash().ByteAt(0x1234), 0xFF);
  EXPECT_EQ(camera_->flash().Status(), 0x01);  // erasing, protection cleared
  clock_.Advance(499);
  EXPECT_TRUE(camera_->flash().Busy());  // the erase resumes with its 500 ms left
  clock_.Advance(1);
  EXPECT_FALSE(camera_->flash().Busy());
  // The session that was open goes on: deselecting it runs the write enable clocked before.
  FlashPortHost host(*camera_);
  host.Write(0x1091, 1);
  EXPECT_EQ(camera_->flash().Status(), 0x02);
  EXPECT_EQ(FormatCameraState(camera_->SaveState()).substr(0, 25), "velkor-sim-camera-state 1");
}

TEST_F(SimCameraStateTest, ReplugKeepsFlashAndStatusAndPowersTheControllerUp) {
  camera_->Replug();
  EXPECT_EQ(camera_->Register(0x1006), 0x00);
  EXPECT_EQ(camera_->Register(0x1007), 0x00);
  EXPECT_EQ(camera_->Register(0x1091), 0x01);
  EXPECT_EQ(camera_->Register(0x5F3), SimCamera::kPowerUpReg5F3);
  EXPECT_EQ(camera_->Register(camera_->flashKindRegister()), camera_->flash().kind());
  EXPECT_TRUE(camera_->WriteProtectActive());
  EXPECT_FALSE(camera_->flash().Busy());  // the erase has finished
  EXPECT_EQ(camera_->flash().ByteAt(0x1234), 0xFF);
  EXPECT_EQ(camera_->flash().Status(), 0x00);
  // The half-clocked write enable died with the power.
  FlashPortHost host(*camera_);
  host.Write(0x1091, 1);
  EXPECT_EQ(camera_->flash().Status(), 0x00);
  EXPECT_FALSE(camera_->flash().selected());
}

TEST(SimCameraStateReplug, ProtectedFlashStaysProtectedAndReplugIsIdempotent) {
  VirtualClock clock;
  SimCamera camera(ProtectedCamera(), clock);
  const SimCameraState before = camera.SaveState();
  camera.Replug();
  camera.Replug();
  const SimCameraState after = camera.SaveState();
  EXPECT_EQ(FormatCameraState(after), FormatCameraState(before));
  EXPECT_EQ(camera.flash().Status(), 0x8C);
}

TEST(SimCameraStateFile, BadFilesAreRefusedWithTheReason) {
  VirtualClock clock;
  SimCamera camera(ProtectedCamera(), clock);
  const std::string good = FormatCameraState(camera.SaveState());
  struct Case {
    std::string text;
    std::string reason;
  };
  std::string cut = good.substr(0, good.size() / 2);
  std::string badHex = good;
  badHex[good.find("flash\n") + 6] = 'G';
  std::string twice = good;
  twice.insert(good.find("status "), "chip-row 18\n");
  const Case cases[] = {
      {"", "empty file"},
      {"P\x01\x02 binary junk\n", "not a camera state file"},
      {"velkor-sim-camera-state 2\n", "version 2, this program reads version 1"},
      {cut, "expected 64 flash bytes"},
      {badHex, "line"},
      {twice, "\"chip-row\" given twice"},
      {good.substr(0, good.find("flash\n")), "ends before the flash"},
  };
  for (const Case& c : cases) {
    SimCameraState state;
    std::string error;
    EXPECT_FALSE(ParseCameraState(c.text, &state, &error)) << c.reason;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
  SimCameraState state;
  std::string error;
  ASSERT_TRUE(ParseCameraState(good, &state, &error)) << error;
  SimCameraConfig otherRow = ProtectedCamera();
  otherRow.chipRow = 9;
  SimCamera other(otherRow, clock);
  EXPECT_FALSE(other.LoadState(state, &error));
  EXPECT_NE(error.find("chip row 18"), std::string::npos) << error;
}

}  // namespace
}  // namespace velkor::sim
