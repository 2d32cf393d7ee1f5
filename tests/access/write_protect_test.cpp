// Releasing and restoring the flash's write protection: pin, setup registers, status register.
#include "access/serial_flash.h"
#include "platform/sim/sim_flash.h"
#include "sim_access_fixture.h"

namespace velkor::access {
namespace {

class WriteProtectTest : public SimAccessTest {
 protected:
  // A flash whose configuration block (D at 0x8003, F at 0x8034 on rows without an alternative
  // base) holds the given bytes.
  static sim::SimCameraConfig Camera(int row, std::uint8_t d = 0x00, std::uint8_t f = 0x00) {
    sim::SimCameraConfig config;
    config.chipRow = row;
    config.initialFlash.assign(sim::SimFlash::kSize, 0xFF);
    config.initialFlash[0x8003] = d;
    config.initialFlash[0x8034] = f;
    return config;
  }

  // The values sent right after each write-status command byte.
  std::vector<std::uint8_t> StatusValuesWritten() {
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> bytes = FlashCommandBytes();
    std::erase(bytes, std::uint8_t{0x05});  // the idle wait's read-status polls
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
      if (bytes[i] == 0x01) {
        out.push_back(bytes[++i]);
      }
    }
    return out;
  }

  // Flash addresses of the single-byte flash reads sent, in order.
  std::vector<std::uint16_t> FlashReadAddresses() {
    std::vector<std::uint16_t> out;
    for (const sim::TrafficRecord& t : world().traffic()) {
      if (t.selector == 3 && (t.flags & 0x2) != 0 && t.sent.size() == 12 &&
          (t.sent[2] & 0x80) != 0) {
        out.push_back(static_cast<std::uint16_t>(t.sent[0] | (t.sent[1] << 8)));
      }
    }
    return out;
  }

  void ClearLogs() {
    world().ClearTraffic();
    writesBefore_ = camera().registerWrites().size();
  }

  std::uint16_t restore_ = 0xFFFF;
  std::uint8_t config_ = 0;
};

TEST_F(WriteProtectTest, ConfigurationByteDrivesThePinAndModeOneDrivesItBack) {
  struct Case {
    std::uint8_t config;
    std::vector<std::uint8_t> enable;  // writes to 0x1007 in mode 0
    std::vector<std::uint8_t> level;   // writes to 0x1006 in mode 0
    std::uint8_t configAfter;
    std::uint16_t restoreAfter;
    std::vector<std::uint8_t> restored;  // writes to 0x1006 in mode 1
  };
  const Case cases[] = {
      {0x00, {}, {}, 0x00, 0xFFFF, {}},
      {0x31, {0x08}, {0xF7}, 0xF7, 0x1006, {0x08}},
      {0x52, {0x20}, {0x20}, 0x20, 0x1006, {0xDF}},
      {0xB1, {0x08}, {0xF7}, 0xF7, 0x1006, {0x08}},  // bit 7 plays no part in mode 0
      {0x7F, {0x80}, {0x80}, 0x80, 0x1006, {0x7F}},  // pin 7, polarity 15
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config);
    OpenCamera(Camera(2));
    restore_ = 0x1234;
    config_ = c.config;
    EXPECT_TRUE(SetFlashWriteProtect(0, &restore_, &config_));
    EXPECT_EQ(WritesTo(0x1007), c.enable);
    EXPECT_EQ(WritesTo(0x1006), c.level);
    EXPECT_EQ(config_, c.configAfter);
    EXPECT_EQ(restore_, c.restoreAfter);
    EXPECT_EQ(StatusValuesWritten(), std::vector<std::uint8_t>{0x00});

    ClearLogs();
    EXPECT_TRUE(SetFlashWriteProtect(1, &restore_, &config_));
    EXPECT_EQ(WritesTo(0x1006), c.restored);
    EXPECT_FALSE(Wrote(0x1007));
    CloseDevice();
  }
}

TEST_F(WriteProtectTest, SetupRegistersAreSavedSetAndRestoredWithTheKindThreeExtras) {
  for (int kind : {3, 4}) {
    SCOPED_TRACE(kind);
    sim::SimCameraConfig config = Camera(12);  // flashAccessSetup, no alternative base
    config.flashKind = kind;
    OpenCamera(config);
    config_ = 0x31;  // the board's pin 3, through its inverter
    ASSERT_TRUE(SetFlashWriteProtect(0, &restore_, &config_));
    const std::uint8_t reg5F5 = kind == 3 ? 0xAF : 0x02;
    const std::vector<std::pair<std::uint16_t, std::uint8_t>> setup = {
        {0x5F3, 0x06}, {0x5F8, 0x12}, {0x5F9, 0x12}, {0x5FA, 0xED}, {0x5FB, 0xED}, {0x5F5, reg5F5}};
    const auto writes = Writes();
    ASSERT_GE(writes.size(), setup.size());
    EXPECT_EQ(std::vector(writes.begin(), writes.begin() + 6), setup);
    std::vector<std::uint8_t> commands = FlashCommandBytes();
    std::erase(commands, std::uint8_t{0x05});
    EXPECT_EQ(commands, kind == 3 ? (std::vector<std::uint8_t>{0x06, 0x50, 0x01, 0x00})
                                  : (std::vector<std::uint8_t>{0x06, 0x01, 0x00}));
    EXPECT_EQ(camera().flash().Status() & 0x9C, 0);  // the flash took the release
    EXPECT_EQ(context.savedReg5F3[0], sim::SimCamera::kPowerUpReg5F3);
    EXPECT_EQ(context.savedReg5F5[0], sim::SimCamera::kPowerUpReg5F5);

    ClearLogs();
    ASSERT_TRUE(SetFlashWriteProtect(1, &restore_, &config_));
    const std::vector<std::pair<std::uint16_t, std::uint8_t>> restored = {
        {0x5F3, sim::SimCamera::kPowerUpReg5F3},
        {0x5F5, sim::SimCamera::kPowerUpReg5F5},
        {0x5F8, 0x34},
        {0x5F9, 0x34},
        {0x5FA, 0x34},
        {0x5FB, 0x34}};
    const auto restoreWrites = Writes();
    ASSERT_GE(restoreWrites.size(), restored.size());
    EXPECT_EQ(std::vector(restoreWrites.begin(), restoreWrites.begin() + 6), restored);
    CloseDevice();
  }
}

TEST_F(WriteProtectTest, RowsWithoutSetupLeaveTheSetupRegistersAlone) {
  OpenCamera(Camera(7));
  ASSERT_TRUE(SetFlashWriteProtect(0, &restore_, &config_));
  ASSERT_TRUE(SetFlashWriteProtect(1, &restore_, &config_));
  for (std::uint16_t reg : {0x5F3, 0x5F5, 0x5F8, 0x5F9, 0x5FA, 0x5FB}) {
    EXPECT_FALSE(Wrote(reg)) << reg;
    EXPECT_FALSE(ReadRegisterSent(reg)) << reg;
  }
}

TEST_F(WriteProtectTest, FlashModeTwoLeavesTheStatusRegisterAndTheBlockAlone) {
  sim::SimCameraConfig config = Camera(18);
  config.flashMode = 2;
  OpenCamera(config);
  config_ = 0x31;
  ASSERT_TRUE(SetFlashWriteProtect(0, &restore_, &config_));
  EXPECT_EQ(WritesTo(0x1006), std::vector<std::uint8_t>{0xF7});
  EXPECT_EQ(WritesTo(0x5F5), std::vector<std::uint8_t>{0x02});
  EXPECT_TRUE(StatusValuesWritten().empty());
  EXPECT_FALSE(Wrote(0x1080));

  ClearLogs();
  ASSERT_TRUE(SetFlashWriteProtect(1, &restore_, &config_));
  EXPECT_EQ(WritesTo(0x5F3), std::vector<std::uint8_t>{sim::SimCamera::kPowerUpReg5F3});
  EXPECT_EQ(WritesTo(0x5FB), std::vector<std::uint8_t>{0x34});
  EXPECT_EQ(WritesTo(0x1006), std::vector<std::uint8_t>{0x08});
  EXPECT_TRUE(FlashReadAddresses().empty());
  EXPECT_TRUE(StatusValuesWritten().empty());
}

TEST_F(WriteProtectTest, ConfigurationBlockIsReadWhereTheRowKeepsIt) {
  struct Case {
    int row;
    std::uint16_t d;
    std::uint16_t f;
  };
  // Row 18 asks the controller: word 0x0600 names register 0x0608, whose value is the page.
  for (const Case c :
       {Case{2, 0x8003, 0x8034}, Case{13, 0x8003, 0x8034}, Case{8, 0x5803, 0x5834},
        Case{15, 0xC003, 0xC034}, Case{17, 0xC003, 0xC034}, Case{18, 0x7003, 0x7034}}) {
    SCOPED_TRACE(c.row);
    OpenCamera(Camera(c.row));
    camera().SetRegister(0x0608, 0x70);
    ASSERT_TRUE(SetFlashWriteProtect(1, &restore_, &config_));
    EXPECT_EQ(FlashReadAddresses(), (std::vector<std::uint16_t>{c.d, c.f}));
    CloseDevice();
  }
}

TEST_F(WriteProtectTest, ProtectionReturnsOnlyWhenTheBlockAsksForItOrTheChipIsRowThirteen) {
  struct Case {
    int row;
    std::uint8_t d;
    std::uint8_t f;
    bool protects;
  };
  for (const Case c :
       {Case{2, 0x34, 0x80, false}, Case{2, 0x35, 0x80, true}, Case{2, 0x35, 0x7F, false},
        Case{2, 0xFF, 0xFF, true}, Case{13, 0x00, 0x00, true}, Case{14, 0x00, 0x00, false}}) {
    SCOPED_TRACE(testing::Message() << c.row << " " << int{c.d} << " " << int{c.f});
    OpenCamera(Camera(c.row, c.d, c.f));
    config_ = 0x31;
    ASSERT_TRUE(SetFlashWriteProtect(0, &restore_, &config_));
    ClearLogs();
    ASSERT_TRUE(SetFlashWriteProtect(1, &restore_, &config_));
    EXPECT_EQ(StatusValuesWritten(),
              c.protects ? std::vector<std::uint8_t>{0x8C} : std::vector<std::uint8_t>{});
    // The status is written while the pin still releases WP#, then the pin is driven back.
    EXPECT_EQ(camera().flash().Status() & 0x9C, c.protects ? 0x8C : 0x00);
    EXPECT_TRUE(camera().WriteProtectActive());
    CloseDevice();
  }
}

TEST_F(WriteProtectTest, UnanswerableFlashModeStopsBeforeAnythingChanges) {
  OpenCamera(Camera(18));
  faults().failSelector = 5;
  for (std::uint8_t mode : {0, 1}) {
    restore_ = 0x1006;
    config_ = 0x31;
    EXPECT_FALSE(SetFlashWriteProtect(mode, &restore_, &config_));
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(restore_, 0x1006);
    EXPECT_EQ(config_, 0x31);
  }
}

TEST_F(WriteProtectTest, ClosedDeviceOrMissingVariablesAreRefusedWithoutTraffic) {
  OpenCamera(Camera(12));
  EXPECT_FALSE(SetFlashWriteProtect(0, nullptr, &config_));
  EXPECT_FALSE(SetFlashWriteProtect(0, &restore_, nullptr));
  EXPECT_FALSE(SetFlashWriteProtect(kDeviceCount, 0, &restore_, &config_));
  std::uint8_t mode = 0;
  std::uint16_t word = 0;
  EXPECT_FALSE(ReadFlashMode(0, &mode));  // row 12 does not answer the mode query
  EXPECT_FALSE(ReadFlashWord(0, &word));
  EXPECT_TRUE(world().traffic().empty());
  CloseDevice();
  world().ClearTraffic();
  EXPECT_FALSE(SetFlashWriteProtect(0, &restore_, &config_));
  EXPECT_FALSE(SetFlashWriteProtect(1, &restore_, &config_));
  EXPECT_TRUE(world().traffic().empty());
}

}  // namespace
}  // namespace velkor::access
