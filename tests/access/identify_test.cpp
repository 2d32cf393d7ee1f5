// Identification of the simulated camera's chip, the row-15 register probe and the flash kind.
#include <cstring>

#include "access/chip_table.h"
#include "sim_access_fixture.h"

namespace velkor::access {
namespace {

using IdentifyTest = SimAccessTest;

sim::SimCameraConfig W7hr(bool probeBitsStick) {
  sim::SimCameraConfig config;
  config.chipRow = 15;
  config.probeBitsStick = probeBitsStick;
  return config;
}

TEST_F(IdentifyTest, RowFifteenWhoseProbeBitsStickIsMarkedInTheFifthCharacter) {
  OpenCamera(W7hr(true));
  camera().SetRegister(0x1185, 0x05);
  std::uint8_t id[8] = {};
  ASSERT_TRUE(IdentifyChip(id));
  EXPECT_EQ(0, std::memcmp(id, "W7HR1", 5));
  EXPECT_EQ(id[5], 1);
  EXPECT_EQ(WritesTo(0x1185), std::vector<std::uint8_t>{0x75});
  EXPECT_EQ(camera().Register(0x1185), 0x75);  // left as set
}

TEST_F(IdentifyTest, RowFifteenWhoseProbeBitsFallBackKeepsTheFifthCharacterRead) {
  OpenCamera(W7hr(false));
  std::uint8_t id[8] = {};
  ASSERT_TRUE(IdentifyChip(id));
  EXPECT_EQ(0, std::memcmp(id, "W7HR0", 5));
  EXPECT_EQ(WritesTo(0x1185), std::vector<std::uint8_t>{0x70});
}

// The other build keeps only some of the three bits: one bit missing is enough to tell it.
TEST_F(IdentifyTest, RowFifteenKeepingOnlySomeProbeBitsIsTheOtherBuild) {
  for (std::uint8_t kept : {0x30, 0x50, 0x60, 0x10}) {
    SCOPED_TRACE(static_cast<int>(kept));
    sim::SimCameraConfig config = W7hr(true);
    config.probeBitsKept = kept;
    OpenCamera(config);
    std::uint8_t id[8] = {};
    ASSERT_TRUE(IdentifyChip(id));
    EXPECT_EQ(0, std::memcmp(id, "W7HR0", 5));
    EXPECT_EQ(camera().Register(0x1185) & 0x70, kept);
    CloseDevice();
  }
}

TEST_F(IdentifyTest, OtherRowsAreNotProbed) {
  sim::SimCameraConfig config;
  config.chipRow = 16;
  OpenCamera(config);
  std::uint8_t id[8] = {};
  ASSERT_TRUE(IdentifyChip(id));
  EXPECT_EQ(0, std::memcmp(id, "C4SR0", 5));
  EXPECT_EQ(context.chipRow[0], 16);
  EXPECT_FALSE(Wrote(0x1185));
  EXPECT_FALSE(ReadRegisterSent(0x1185));
}

TEST_F(IdentifyTest, IdentificationNeedsAnOpenDeviceAndADestination) {
  OpenCamera(W7hr(true));
  EXPECT_FALSE(IdentifyChip(nullptr));
  std::uint8_t id[8] = {};
  EXPECT_FALSE(IdentifyChip(1, id));
  EXPECT_FALSE(IdentifyChip(kDeviceCount, id));
  CloseDevice();
  world().ClearTraffic();
  EXPECT_FALSE(IdentifyChip(id));
  EXPECT_TRUE(world().traffic().empty());
}

TEST_F(IdentifyTest, FlashKindComesFromTheRowsRegisterOr255WhenUnreadable) {
  sim::SimCameraConfig config;
  config.chipRow = 10;  // flash kind in register 0x690
  config.flashKind = 11;
  OpenCamera(config);
  EXPECT_EQ(ReadFlashKind(0), 11);
  EXPECT_EQ(RegisterReads(), std::vector<std::uint16_t>{0x690});

  faults().failSelector = 1;
  EXPECT_EQ(ReadFlashKind(0), 255);
  faults().failSelector = -1;

  CloseDevice();
  world().ClearTraffic();
  EXPECT_EQ(ReadFlashKind(0), -1);
  EXPECT_EQ(ReadFlashKind(kDeviceCount), -1);
  EXPECT_TRUE(world().traffic().empty());
}

}  // namespace
}  // namespace velkor::access
