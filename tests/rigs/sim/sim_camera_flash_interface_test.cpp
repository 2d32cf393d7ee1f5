// The controller's flash-interface and pin registers drive the simulated flash the way a host
// drives the real one: byte by byte over selector-1 register writes.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "rigs/sim/sim_camera.h"
#include "vendor_requests.h"

namespace velkor::sim {
namespace {

// Row 11: a chip whose flash the host may drive without the flash-access setup.
SimCameraConfig PlainChip() {
  SimCameraConfig config;
  config.chipRow = 11;
  return config;
}

class SimCameraFlashInterfaceTest : public ::testing::Test {
 protected:
  SimCamera& MakeCamera(SimCameraConfig config = PlainChip()) {
    camera_ = std::make_unique<SimCamera>(config, clock_);
    return *camera_;
  }

  void WriteReg(std::uint16_t reg, std::uint8_t value) {
    std::uint8_t payload[4] = {static_cast<std::uint8_t>(reg & 0xFF),
                               static_cast<std::uint8_t>(reg >> 8), value, 0x00};
    ASSERT_EQ(camera_->HandleRequest(1, kSet, payload, 4), hr::kOk);
  }
  std::uint8_t ReadReg(std::uint16_t reg) {
    std::uint8_t payload[4] = {static_cast<std::uint8_t>(reg & 0xFF),
                               static_cast<std::uint8_t>(reg >> 8), 0x00, 0xFF};
    EXPECT_EQ(camera_->HandleRequest(1, kSet, payload, 4), hr::kOk);
    std::uint8_t reply[4] = {};
    EXPECT_EQ(camera_->HandleRequest(1, kGet, reply, 4), hr::kOk);
    return reply[2];
  }

  // One framed command: select, send each byte, deselect.
  void Command(std::initializer_list<std::uint8_t> bytes) {
    WriteReg(0x1091, 0);
    for (std::uint8_t byte : bytes) {
      WriteReg(0x1082, byte);
      WriteReg(0x1081, 1);
    }
    WriteReg(0x1091, 1);
  }
  // Sends RDSR without deselecting (as a poller does) and receives one byte.
  std::uint8_t PollStatus() {
    WriteReg(0x1091, 0);
    WriteReg(0x1082, 0x05);
    WriteReg(0x1081, 1);
    WriteReg(0x1083, 0);
    WriteReg(0x1081, 2);
    return ReadReg(0x1083);
  }
  // Drives the pin that the default board wires (through an inverter) to WP#.
  void DrivePin3(bool high) {
    WriteReg(0x1007, 0x08);
    WriteReg(0x1006, high ? 0x08 : 0xF7);
  }

  VirtualClock clock_;
  std::unique_ptr<SimCamera> camera_;
};

TEST_F(SimCameraFlashInterfaceTest, WriteProtectFollowsPinEnableLevelAndInverter) {
  SimCameraConfig config = PlainChip();  // pin 3 through an inverter
  SimCamera& camera = MakeCamera(config);
  EXPECT_TRUE(camera.WriteProtectActive()) << "undriven pin: pull-down";

  WriteReg(0x1006, 0x00);
  EXPECT_TRUE(camera.WriteProtectActive()) << "level alone does not drive the pin";
  WriteReg(0x1007, 0x08);
  EXPECT_FALSE(camera.WriteProtectActive()) << "pin low, inverted: WP# high";
  WriteReg(0x1006, 0x08);
  EXPECT_TRUE(camera.WriteProtectActive());

  config.wpInverted = false;
  config.wpPin = 5;
  SimCamera& direct = MakeCamera(config);
  WriteReg(0x1007, 0x20);
  WriteReg(0x1006, 0x20);
  EXPECT_FALSE(direct.WriteProtectActive());
  WriteReg(0x1006, 0xDF);
  EXPECT_TRUE(direct.WriteProtectActive());
}

TEST_F(SimCameraFlashInterfaceTest, StatusWriteUnderSrwdNeedsThePinToReleaseWp) {
  SimCamera& camera = MakeCamera();  // status 0x8C at power-up
  WriteReg(0x1080, 1);

  Command({0x06});
  Command({0x01, 0x00});
  EXPECT_EQ(camera.flash().Status() & 0x9C, 0x8C) << "WP# low: refused";

  DrivePin3(false);
  Command({0x06});
  Command({0x01, 0x00});
  clock_.Advance(15);
  EXPECT_EQ(camera.flash().Status(), 0x00);
}

TEST_F(SimCameraFlashInterfaceTest, KindThreeTakesTheStatusWriteOnlyAfterEnableWriteStatus) {
  SimCameraConfig config = PlainChip();
  config.flashKind = 3;
  config.initialStatus = 0x0C;
  SimCamera& camera = MakeCamera(config);
  WriteReg(0x1080, 1);

  Command({0x06});
  Command({0x01, 0x00});
  EXPECT_EQ(camera.flash().Status() & 0x1C, 0x0C);

  Command({0x50});
  Command({0x01, 0x00});
  EXPECT_EQ(camera.flash().Status() & 0x1C, 0x00);
}

TEST_F(SimCameraFlashInterfaceTest, PollerKeepingChipSelectedSeesEraseFinish) {
  SimCameraConfig config = PlainChip();
  config.initialStatus = 0x00;
  config.initialFlash = {0x00};
  config.flashKind = 7;
  SimCamera& camera = MakeCamera(config);
  WriteReg(0x1080, 1);

  Command({0x06});
  Command({0x60});
  EXPECT_FALSE(camera.flash().Busy()) << "kind 7 does not take 0x60";
  Command({0x06});
  Command({0xC7});

  EXPECT_EQ(PollStatus() & 0x01, 0x01);
  clock_.Advance(config.chipEraseMs);
  EXPECT_EQ(PollStatus() & 0x01, 0x00) << "same session, second poll";
  EXPECT_TRUE(camera.flash().selected());
  WriteReg(0x1091, 1);
  EXPECT_EQ(camera.flash().ByteAt(0), 0xFF);
}

TEST_F(SimCameraFlashInterfaceTest, CommandSentIntoAnOpenPollingSessionIsLost) {
  SimCameraConfig config = PlainChip();
  config.initialStatus = 0x00;
  SimCamera& camera = MakeCamera(config);
  WriteReg(0x1080, 1);

  PollStatus();     // chip select left at 0
  Command({0x06});  // joins the RDSR session instead of starting its own

  EXPECT_EQ(camera.flash().Status() & 0x02, 0x00);
}

TEST_F(SimCameraFlashInterfaceTest, TransfersDoNothingWhileTheInterfaceIsDisabled) {
  SimCameraConfig config = PlainChip();
  config.initialStatus = 0x00;
  SimCamera& camera = MakeCamera(config);

  Command({0x06});
  EXPECT_EQ(camera.flash().Status(), 0x00);

  WriteReg(0x1080, 1);
  Command({0x06});
  EXPECT_EQ(camera.flash().Status(), 0x02);
}

TEST_F(SimCameraFlashInterfaceTest, DoneFlagReadsOneUnlessItNeverSettles) {
  MakeCamera();
  WriteReg(0x1080, 1);
  Command({0x05});
  EXPECT_EQ(ReadReg(0x1084), 1);

  SimCameraConfig config = PlainChip();
  config.transferDoneNeverSettles = true;
  MakeCamera(config);
  WriteReg(0x1080, 1);
  Command({0x05});
  EXPECT_EQ(ReadReg(0x1084), 0);
}

TEST_F(SimCameraFlashInterfaceTest, ReceivedStatusLandsInDataInAndWritesAreLogged) {
  SimCameraConfig config = PlainChip();
  config.initialStatus = 0x8C;
  SimCamera& camera = MakeCamera(config);
  WriteReg(0x1080, 1);

  EXPECT_EQ(PollStatus(), 0x8C);

  const std::vector<std::uint16_t> expected = {0x1080, 0x1091, 0x1082, 0x1081, 0x1083, 0x1081};
  ASSERT_EQ(camera.registerWrites().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(camera.registerWrites()[i].reg, expected[i]) << i;
  }
  EXPECT_EQ(camera.registerWrites()[2].value, 0x05);
}

}  // namespace
}  // namespace velkor::sim
