// Releasing and restoring the flash's write protection: pin, setup registers, status register.
#include <algorithm>
#include <functional>
#include <string>

#include "access/serial_flash.h"
#include "rigs/sim/sim_flash.h"
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
    sim::SimCameraConfig config = Camera(2);
    config.initialStatus = 0x0C;  // block protection without SRWD: the pin does not matter
    OpenCamera(config);
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
        {0x1091, 1},  // the chip select released first, whatever an earlier command left
        {0x5F3, sim::SimCamera::kPowerUpReg5F3},
        {0x5F5, sim::SimCamera::kPowerUpReg5F5},
        {0x5F8, 0x34},
        {0x5F9, 0x34},
        {0x5FA, 0x34},
        {0x5FB, 0x34}};
    const auto restoreWrites = Writes();
    ASSERT_GE(restoreWrites.size(), restored.size());
    EXPECT_EQ(std::vector(restoreWrites.begin(), restoreWrites.begin() + 7), restored);
    CloseDevice();
  }
}

// On chips with the flash-access setup, the host's commands reach the flash only while the
// setup holds: the restore writes the status register first and puts the setup back after.
TEST_F(WriteProtectTest, RestoreWritesTheStatusBeforeTheSetupRegistersGoBack) {
  OpenCamera(Camera(12, 0x36, 0x80));
  config_ = 0x31;
  ASSERT_TRUE(SetFlashWriteProtect(0, &restore_, &config_));
  ClearLogs();
  ASSERT_TRUE(SetFlashWriteProtect(1, &restore_, &config_));
  const std::vector<std::string> trace = RegisterTrace();
  const auto status = std::find(trace.begin(), trace.end(), "1082=8C");
  const auto setup = std::find(trace.begin(), trace.end(), "05F3=11");
  ASSERT_NE(status, trace.end());
  ASSERT_NE(setup, trace.end());
  EXPECT_LT(status, setup);
  // The pin last, read back to confirm it.
  EXPECT_EQ(std::vector(trace.end() - 2, trace.end()),
            (std::vector<std::string>{"1006=08", "1006?"}));
  EXPECT_EQ(camera().flash().Status() & 0x9C, 0x8C);
}

TEST_F(WriteProtectTest, RowsWithoutSetupLeaveTheSetupRegistersAlone) {
  OpenCamera(Camera(7));
  config_ = 0x31;
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
    // Only where the block is read counts here. Without a release first, row 13's protecting
    // status write cannot land on a row that gates the flash behind the access setup, so the
    // restore is rightly unconfirmed there.
    SetFlashWriteProtect(1, &restore_, &config_);
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

// The release's status write, register by register: the idle flash, write enable, the wait the
// flash needs after it, the write-status command and its value in one session (each byte's
// transfer polled), the wait for the write to end, and the interface switched off.
TEST_F(WriteProtectTest, StatusWriteSendsEveryRegisterInOrderAndEndsWithTheInterfaceOff) {
  OpenCamera(Camera(2));
  config_ = 0x31;
  ASSERT_TRUE(SetFlashWriteProtect(0, &restore_, &config_));
  const std::vector<std::string> statusRead = {"1091=00", "1082=05", "1081=01", "1084?",  "1083=00",
                                               "1081=02", "1084?",   "1083?",   "1091=01"};
  // Each pin register is read back after its write.
  std::vector<std::string> expected = {"0530?", "1007=08", "1007?", "1006=F7", "1006?", "1080=01"};
  expected.insert(expected.end(), statusRead.begin(), statusRead.end());
  for (const char* step : {"1091=00", "1082=06", "1081=01", "1084?", "1091=01"}) {
    expected.emplace_back(step);
  }
  expected.insert(expected.end(), statusRead.begin(), statusRead.end());
  for (const char* step :
       {"1091=00", "1082=01", "1081=01", "1084?", "1082=00", "1081=01", "1084?", "1091=01"}) {
    expected.emplace_back(step);
  }
  // The status write keeps the flash busy for a while: the wait reads until it has ended.
  std::vector<std::string> trace = RegisterTrace();
  ASSERT_GT(trace.size(), expected.size() + statusRead.size());
  EXPECT_EQ(std::vector(trace.begin(), trace.begin() + static_cast<long>(expected.size())),
            expected);
  EXPECT_EQ(std::vector(trace.end() - 10, trace.end() - 1),
            (std::vector<std::string>(statusRead.begin(), statusRead.end())));
  EXPECT_EQ(trace.back(), "1080=00");
  EXPECT_EQ(camera().flash().Status() & 0x9C, 0x00);
}

// Only the word's own request fails, and its second try too: the release goes on with word 0,
// so the page comes from register 0x0008, and the mode is still asked for.
TEST_F(WriteProtectTest, FlashWordThatCannotBeReadLeavesWordZeroAndTheReleaseGoesOn) {
  OpenCamera(Camera(18));
  // Requests after the flash-kind read (latch and GET): the word, then its two more tries.
  faults().failRequestNumber = servedBeforeLog_ + 3;
  faults().failRequestRun = 3;
  config_ = 0x31;
  EXPECT_TRUE(SetFlashWriteProtect(0, &restore_, &config_));
  const auto reads = RegisterReads();
  ASSERT_GE(reads.size(), 2u);
  EXPECT_EQ(reads[0], 0x05F0);
  EXPECT_EQ(reads[1], 0x0008);
  EXPECT_EQ(StatusValuesWritten(), std::vector<std::uint8_t>{0x00});
}

// The configuration byte names a pin polarity this board does not have: WP# stays held, the
// flash refuses the status write, and the release says so after three tries.
TEST_F(WriteProtectTest, ReleaseThatTheFlashRefusesIsReportedAfterThreeTries) {
  OpenCamera(Camera(2));
  config_ = 0x32;
  EXPECT_FALSE(SetFlashWriteProtect(0, &restore_, &config_));
  EXPECT_EQ(StatusValuesWritten(), (std::vector<std::uint8_t>{0x00, 0x00, 0x00}));
  EXPECT_EQ(camera().flash().Status() & 0x9C, 0x8C);
  EXPECT_EQ(WritesTo(0x1080).back(), 0);
}

class RestoreTest : public WriteProtectTest {
 protected:
  // Released on a row-2 camera whose flash and image both ask for protection afterwards.
  void Released() {
    OpenCamera(Camera(2, 0x36, 0xB1));
    image_.assign(sim::SimFlash::kSize, 0xFF);
    image_[0x8003] = 0x36;
    image_[0x8034] = 0xB1;
    config_ = 0x31;
    ASSERT_TRUE(SetFlashWriteProtect(0, &restore_, &config_));
    ClearLogs();
  }
  // Number of the first request of the restore that matches, from a dry run on its own camera.
  std::uint32_t InDryRestore(const std::function<bool(const sim::TrafficRecord&)>& match,
                             int nth = 1) {
    Released();
    EXPECT_TRUE(SetFlashWriteProtect(1, &restore_, &config_, image_));
    const std::uint32_t number = NumberOf(match, nth);
    CloseDevice();
    return number;
  }
  std::vector<std::uint8_t> image_;
};

bool SendsWriteEnableByte(const sim::TrafficRecord& t) {
  return t.selector == 1 && t.sent == std::vector<std::uint8_t>{0x82, 0x10, 0x06, 0x00};
}
bool ReadsFlashAt(const sim::TrafficRecord& t, std::uint16_t address) {
  return t.selector == 3 && (t.flags & 0x2) != 0 && t.sent.size() == 12 && t.sent[2] == 0x81 &&
         t.sent[0] == (address & 0xFF) && t.sent[1] == (address >> 8);
}

// The restore's write enable is lost: the status write is repeated and confirmed.
TEST_F(RestoreTest, LostWriteEnableIsRepeatedUntilTheStatusReadsBackProtected) {
  const std::uint32_t enable = InDryRestore(SendsWriteEnableByte);
  ASSERT_GT(enable, 0u);
  Released();
  faults().failRequestNumber = enable + 1;  // the send trigger
  EXPECT_TRUE(SetFlashWriteProtect(1, &restore_, &config_, image_));
  const auto loaded = WritesTo(0x1082);
  EXPECT_EQ(std::count(loaded.begin(), loaded.end(), std::uint8_t{0x06}), 2);
  EXPECT_EQ(StatusValuesWritten(), std::vector<std::uint8_t>{0x8C});
  EXPECT_EQ(camera().flash().Status() & 0x9C, 0x8C);
  EXPECT_TRUE(camera().WriteProtectActive());
}

// Nothing the restore sends after the configuration block gets through, though the camera
// answers again afterwards: the restore reports that it could not be confirmed.
TEST_F(RestoreTest, RestoreThatCannotBeConfirmedReportsFalse) {
  const std::uint32_t afterBlock =
      InDryRestore([](const sim::TrafficRecord& t) { return ReadsFlashAt(t, 0x8034); }) + 2;
  Released();
  faults().failRequestNumber = afterBlock;
  faults().failRequestRun = 400;
  EXPECT_FALSE(SetFlashWriteProtect(1, &restore_, &config_, image_));
  EXPECT_EQ(camera().flash().Status() & 0x9C, 0x00);
}

// Both reads of D fail. With the image, its byte at that address decides (here it asks for
// protection, while the flash holds an older block that does not); without one, D counts as 0.
TEST_F(RestoreTest, UnreadableConfigurationByteIsTakenFromTheImage) {
  for (const bool withImage : {true, false}) {
    SCOPED_TRACE(withImage);
    const std::uint32_t readD =
        InDryRestore([](const sim::TrafficRecord& t) { return ReadsFlashAt(t, 0x8003); });
    Released();
    camera().flash().Program(0x8003, std::vector<std::uint8_t>{0x00});  // the flash's D: 0
    faults().failRequestNumber = readD;
    faults().failRequestRun = 4;  // request and data of both tries
    std::vector<std::uint8_t> image = withImage ? image_ : std::vector<std::uint8_t>{};
    EXPECT_TRUE(SetFlashWriteProtect(1, &restore_, &config_, image));
    EXPECT_EQ(camera().flash().Status() & 0x9C, withImage ? 0x8C : 0x00);
    CloseDevice();
  }
}

// F's reply arrives with bit 7 inverted ("don't protect"): it differs from the image, so it is
// read again, and the two reads that agree decide.
TEST_F(RestoreTest, OneGarbledConfigurationByteIsOutvoted) {
  const std::uint32_t readF =
      InDryRestore([](const sim::TrafficRecord& t) { return ReadsFlashAt(t, 0x8034); });
  Released();
  faults().corruptReplyNumber = readF + 1;  // the data GET
  faults().corruptReplyByte = 3;
  faults().corruptReplyMask = 0x80;
  EXPECT_TRUE(SetFlashWriteProtect(1, &restore_, &config_, image_));
  EXPECT_EQ(camera().flash().Status() & 0x9C, 0x8C);
  std::vector<std::uint16_t> reads = FlashReadAddresses();
  EXPECT_EQ(reads, (std::vector<std::uint16_t>{0x8003, 0x8034, 0x8034, 0x8034}));
}

// A garbled flash-mode answer reads 2 ("the controller keeps the status register"), which
// would skip the restore's status write: the mode is asked again and the two answers that
// agree decide, so the configuration block is still read.
TEST_F(WriteProtectTest, OneGarbledFlashModeAnswerCannotSkipTheRestore) {
  // The mode's GET is the first selector-5 GET after the page register (0x0608) is latched.
  bool pageLatched = false;
  const auto modeGet = [&pageLatched](const sim::TrafficRecord& t) {
    if (t.selector == 1 && t.sent == std::vector<std::uint8_t>{0x08, 0x06, 0x00, 0xFF}) {
      pageLatched = true;
    }
    return pageLatched && t.selector == 5 && (t.flags & 0x1) != 0;
  };
  OpenCamera(Camera(18));
  SetFlashWriteProtect(1, &restore_, &config_);  // a dry run, for the request's number
  const std::uint32_t firstModeGet = NumberOf(modeGet);
  ASSERT_GT(firstModeGet, 0u);
  CloseDevice();

  OpenCamera(Camera(18));
  faults().corruptReplyNumber = firstModeGet;
  faults().corruptReplyByte = 2;
  faults().corruptReplyMask = 0x02;
  SetFlashWriteProtect(1, &restore_, &config_);
  EXPECT_EQ(FlashReadAddresses(), (std::vector<std::uint16_t>{0x0003, 0x0034}));
}

// The release saves 0x5F3 to put it back after the write; its reply arrives garbled once. The
// value is asked again and the two answers that agree are saved, so the restore puts back what
// the camera held.
TEST_F(WriteProtectTest, OneGarbledSavedSetupRegisterIsOutvoted) {
  const auto savedRegisterGet = [](const sim::TrafficRecord& t) {
    return t.selector == 1 && t.sent == std::vector<std::uint8_t>{0xF3, 0x05, 0x00, 0xFF};
  };
  OpenCamera(Camera(17));
  SetFlashWriteProtect(0, &restore_, &config_);  // a dry run, for the request's number
  const std::uint32_t latch = NumberOf(savedRegisterGet);
  ASSERT_GT(latch, 0u);
  CloseDevice();

  OpenCamera(Camera(17));
  faults().corruptReplyNumber = latch + 1;  // the GET after the latch
  faults().corruptReplyMask = 0xFF;
  SetFlashWriteProtect(0, &restore_, &config_);
  SetFlashWriteProtect(1, &restore_, &config_);
  EXPECT_EQ(camera().Register(0x05F3), sim::SimCamera::kPowerUpReg5F3);
}

}  // namespace
}  // namespace velkor::access
