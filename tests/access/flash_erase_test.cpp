// Whole-flash erase per flash kind and chip row, and how the erase is confirmed before anyone
// writes over the flash.
#include <algorithm>
#include <string>

#include "access/serial_flash.h"
#include "rigs/sim/sim_flash.h"
#include "sim_access_fixture.h"

namespace velkor::access {
namespace {

bool Sends(const sim::TrafficRecord& t, std::uint16_t reg, std::uint8_t value) {
  return t.selector == 1 && (t.flags & 0x2) != 0 &&
         t.sent == std::vector<std::uint8_t>{static_cast<std::uint8_t>(reg & 0xFF),
                                             static_cast<std::uint8_t>(reg >> 8), value, 0x00};
}
bool LatchesStatusByte(const sim::TrafficRecord& t) {
  return t.selector == 1 && t.sent == std::vector<std::uint8_t>{0x83, 0x10, 0x00, 0xFF};
}

class FlashEraseTest : public SimAccessTest {
 protected:
  // An unprotected flash full of data, so that an erase shows in its content.
  static sim::SimCameraConfig WithData(int row, int kind) {
    sim::SimCameraConfig config;
    config.chipRow = row;
    config.flashKind = kind;
    config.initialStatus = 0x00;
    config.initialFlash.assign(sim::SimFlash::kSize, 0x5A);
    return config;
  }
  void OpenWithData(int row, int kind) { OpenCamera(WithData(row, kind)); }
  bool FlashErased() {
    const auto& cells = camera().flash().content();
    return std::all_of(cells.begin(), cells.end(), [](std::uint8_t b) { return b == 0xFF; });
  }
  bool FlashUntouched() {
    const auto& cells = camera().flash().content();
    return std::all_of(cells.begin(), cells.end(), [](std::uint8_t b) { return b == 0x5A; });
  }
  // Command bytes sent, without the read-status commands of the status reads.
  std::vector<std::uint8_t> Commands() {
    std::vector<std::uint8_t> out = FlashCommandBytes();
    out.erase(std::remove(out.begin(), out.end(), std::uint8_t{0x05}), out.end());
    return out;
  }
  // Number of the request that latches the status byte in the n-th status read after the erase
  // command, found in a run of this camera where nothing is lost; plusGet 1 names the GET that
  // answers it.
  std::uint32_t StatusReadAfterErase(const sim::SimCameraConfig& config, int nth, int plusGet) {
    OpenCamera(config);
    EXPECT_TRUE(EraseFlash());
    const std::uint32_t erase =
        NumberOf([](const sim::TrafficRecord& t) { return Sends(t, 0x1082, 0x60); });
    std::uint32_t found = 0;
    for (int n = 1; (found = NumberOf(LatchesStatusByte, n)) != 0; ++n) {
      if (found > erase && --nth == 0) {
        break;
      }
    }
    CloseDevice();
    return found == 0 ? 0 : found + static_cast<std::uint32_t>(plusGet);
  }
};

TEST_F(FlashEraseTest,
       KindsThatOnlyTakeC7AreErasedWithItEvenWhereTheRowLeavesErasesToTheController) {
  for (int kind : {2, 7, 8, 10, 11}) {
    SCOPED_TRACE(kind);
    OpenWithData(2, kind);  // row 2: directErase 0
    EXPECT_TRUE(EraseFlash());
    EXPECT_EQ(Commands(), (std::vector<std::uint8_t>{0x06, 0xC7}));
    EXPECT_EQ(ControllerErases(), 0);
    EXPECT_TRUE(FlashErased());
    EXPECT_EQ(WritesTo(0x1080), (std::vector<std::uint8_t>{1, 0}));
    EXPECT_EQ(WritesTo(0x1091).back(), 1);
    CloseDevice();
  }
}

TEST_F(FlashEraseTest, OtherKindsFollowTheRowsDirectEraseFlag) {
  // The controller erases: the host only reads the status before and after, each time with
  // its interface switched on for the reads alone.
  OpenWithData(2, 4);
  EXPECT_TRUE(EraseFlash());
  EXPECT_TRUE(Commands().empty());
  EXPECT_EQ(WritesTo(0x1080), (std::vector<std::uint8_t>{1, 0, 1, 0}));
  EXPECT_EQ(ControllerErases(), 1);
  EXPECT_TRUE(FlashErased());
  CloseDevice();

  OpenWithData(5, 4);  // row 5: directErase 1
  EXPECT_TRUE(EraseFlash());
  EXPECT_EQ(Commands(), (std::vector<std::uint8_t>{0x06, 0x60}));
  EXPECT_EQ(ControllerErases(), 0);
  EXPECT_TRUE(FlashErased());
  CloseDevice();

  // An unreadable kind (255) is one more kind without a rule of its own.
  OpenWithData(5, 4);
  faults().failSelector = 1;
  EXPECT_FALSE(EraseFlash());  // every register request of the sequence is lost
  faults().failSelector = -1;
  EXPECT_EQ(ControllerErases(), 0);
  EXPECT_TRUE(FlashUntouched());
}

TEST_F(FlashEraseTest, ControllerEraseReportsTheSlotsResult) {
  OpenWithData(9, 5);
  faults().failSelector = 3;
  EXPECT_FALSE(EraseFlash());
  EXPECT_TRUE(FlashUntouched());
  CloseDevice();
  world().ClearTraffic();
  EXPECT_FALSE(EraseFlash());  // closed: nothing sent
  EXPECT_TRUE(world().traffic().empty());
}

// Idle wait, write enable, one status read that must show the latch set, the erase command, the
// end of the erase seen twice, interface off, then the blank check of sixteen pieces.
TEST_F(FlashEraseTest, EraseChecksTheLatchWithOneStatusReadNotAWaitAndEndsWithABlankCheck) {
  OpenWithData(5, 4);
  ASSERT_TRUE(EraseFlash());
  const std::vector<std::string> statusRead = {"1091=00", "1082=05", "1081=01", "1084?",  "1083=00",
                                               "1081=02", "1084?",   "1083?",   "1091=01"};
  std::vector<std::string> expected = {"05E0?", "1080=01"};
  expected.insert(expected.end(), statusRead.begin(), statusRead.end());
  for (const char* step : {"1091=00", "1082=06", "1081=01", "1084?", "1091=01"}) {
    expected.emplace_back(step);
  }
  expected.insert(expected.end(), statusRead.begin(), statusRead.end());
  for (const char* step : {"1091=00", "1082=60", "1081=01", "1084?", "1091=01"}) {
    expected.emplace_back(step);
  }
  const std::vector<std::string> trace = RegisterTrace();
  ASSERT_GT(trace.size(), expected.size());
  EXPECT_EQ(std::vector(trace.begin(), trace.begin() + static_cast<long>(expected.size())),
            expected);
  EXPECT_EQ(trace.back(), "1080=00");
  EXPECT_EQ(std::count(trace.begin(), trace.end(), "1080=01"), 1);
  int blankCheckReads = 0;
  for (const sim::TrafficRecord& t : world().traffic()) {
    blankCheckReads += t.selector == 3 && (t.flags & 0x2) != 0 && t.sent[2] == 0x88 ? 1 : 0;
  }
  EXPECT_EQ(blankCheckReads, 16);
}

// The release did not take (block protection still set): the flash refuses the erase and keeps
// its latch set, and the erase is not reported done.
TEST_F(FlashEraseTest, FlashStillProtectedRefusesTheEraseAndItIsReportedFailed) {
  sim::SimCameraConfig config = WithData(5, 4);
  config.initialStatus = 0x0C;
  OpenCamera(config);
  EXPECT_FALSE(EraseFlash());
  EXPECT_TRUE(FlashUntouched());
  EXPECT_EQ(WritesTo(0x1080).back(), 0);
  EXPECT_EQ(WritesTo(0x1091).back(), 1);

  // The controller's own erase answers the request whether or not the flash took it.
  config = WithData(9, 5);
  config.initialStatus = 0x0C;
  OpenCamera(config);
  EXPECT_FALSE(EraseFlash());
  EXPECT_EQ(ControllerErases(), 1);
  EXPECT_TRUE(FlashUntouched());
}

// On a slow host a small flash may be done before the first status read: the erase is confirmed
// by the latch and the blank check, not by having seen the flash busy.
TEST_F(FlashEraseTest, EraseOverBeforeTheFirstStatusReadIsStillConfirmed) {
  sim::SimCameraConfig config = WithData(5, 4);
  config.chipEraseMs = 0;
  OpenCamera(config);
  EXPECT_TRUE(EraseFlash());
  EXPECT_TRUE(FlashErased());
}

// The write enable is lost, or the status read after it does not show the latch (here a
// garbled reply reads WIP set): the erase command never follows a status that did not confirm
// the latch, and no wait is slipped in between; the write enable is sent again instead.
TEST_F(FlashEraseTest, WriteEnableThatIsNotConfirmedIsSentAgainBeforeTheErase) {
  for (const bool garbled : {false, true}) {
    SCOPED_TRACE(garbled);
    OpenWithData(5, 4);
    ASSERT_TRUE(EraseFlash());
    const std::uint32_t enable =
        NumberOf([](const sim::TrafficRecord& t) { return Sends(t, 0x1082, 0x06); });
    const std::uint32_t latchGet = NumberOf(LatchesStatusByte, 2) + 1;
    CloseDevice();

    OpenWithData(5, 4);
    if (garbled) {
      faults().corruptReplyNumber = latchGet;
      faults().corruptReplyMask = 0x01;
    } else {
      faults().failRequestNumber = enable + 1;  // the send trigger
    }
    EXPECT_TRUE(EraseFlash());
    EXPECT_TRUE(FlashErased());
    const std::vector<std::string> trace = RegisterTrace();
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "1082=06"), 2);
    const auto lastEnable = std::find(trace.rbegin(), trace.rend(), "1082=06").base();
    const auto erase = std::find(lastEnable, trace.end(), "1082=60");
    EXPECT_EQ(std::count(lastEnable, erase, "1082=05"), 1);
  }
}

// The flash's release after the write enable is lost: left selected, the flash would take the
// next status read as more bytes of the write enable and answer nothing but 0xFF ("busy") for
// the whole bound. The release is sent again.
TEST_F(FlashEraseTest, LostReleaseOfTheFlashIsSentAgainSoTheNextCommandStandsAlone) {
  OpenWithData(5, 4);
  ASSERT_TRUE(EraseFlash());
  const std::uint32_t enable =
      NumberOf([](const sim::TrafficRecord& t) { return Sends(t, 0x1082, 0x06); });
  CloseDevice();

  OpenWithData(5, 4);
  faults().failRequestNumber = enable + 4;  // trigger, poll latch and GET, then the release
  const std::uint64_t start = world().clock().NowMs();
  EXPECT_TRUE(EraseFlash());
  EXPECT_LT(world().clock().NowMs() - start, 1000u);
  EXPECT_TRUE(FlashErased());
}

// A flash still busy with a status write ignores a write enable, and the controller refuses its
// own erase then: either erase first waits for the idle flash.
TEST_F(FlashEraseTest, EraseWaitsForAFlashStillBusyWithAStatusWrite) {
  for (const int row : {5, 9}) {
    SCOPED_TRACE(row);
    sim::SimCameraConfig config = WithData(row, row == 5 ? 4 : 5);
    config.statusWriteMs = 40;
    OpenCamera(config);
    StartStatusWriteOnTheFlash();
    ASSERT_TRUE(camera().flash().Busy());
    EXPECT_TRUE(EraseFlash());
    EXPECT_TRUE(FlashErased());
    CloseDevice();
  }
}

TEST_F(FlashEraseTest, ARequestLostInTheMiddleOfTheSequenceFailsTheErase) {
  const sim::SimCameraConfig config = WithData(11, 4);  // the host erases; no access setup
  OpenCamera(config);
  ASSERT_TRUE(EraseFlash());
  const std::uint32_t eraseByte =
      NumberOf([](const sim::TrafficRecord& t) { return Sends(t, 0x1082, 0x60); });
  CloseDevice();

  OpenCamera(config);
  faults().failRequestNumber = eraseByte;
  EXPECT_FALSE(EraseFlash());
  const auto writes = Writes();
  EXPECT_EQ(std::count(writes.begin(), writes.end(),
                       std::pair<std::uint16_t, std::uint8_t>{0x1082, 0x60}),
            0);  // exactly the erase byte was lost
  EXPECT_TRUE(FlashUntouched());
  EXPECT_EQ(WritesTo(0x1080).back(), 0);
  EXPECT_EQ(WritesTo(0x1091).back(), 1);
}

// One lost status read during a 5-second erase used to end the wait with the flash still
// erasing. Polling now goes on until the flash is seen idle.
TEST_F(FlashEraseTest, OneLostStatusReadDuringALongEraseDoesNotEndTheWait) {
  sim::SimCameraConfig config = WithData(5, 4);
  config.chipEraseMs = 5000;
  const std::uint32_t secondPassGet = StatusReadAfterErase(config, 2, 1);
  ASSERT_GT(secondPassGet, 0u);

  OpenCamera(config);
  faults().failRequestNumber = secondPassGet;
  const std::uint64_t start = world().clock().NowMs();
  EXPECT_TRUE(EraseFlash());
  EXPECT_GE(world().clock().NowMs() - start, 5000u);
  EXPECT_FALSE(camera().flash().Busy());
  EXPECT_TRUE(FlashErased());
}

// A garbled status byte that reads "idle, latch clear" while the erase still runs is not taken
// for its end: the end must be seen in two status reads in a row.
TEST_F(FlashEraseTest, OneGarbledStatusByteCannotPassForTheEndOfTheErase) {
  sim::SimCameraConfig config = WithData(5, 4);
  config.chipEraseMs = 3000;
  const std::uint32_t firstGet = StatusReadAfterErase(config, 1, 1);
  ASSERT_GT(firstGet, 0u);

  OpenCamera(config);
  faults().corruptReplyNumber = firstGet;
  faults().corruptReplyMask = 0x01;  // WIP reads clear
  const std::uint64_t start = world().clock().NowMs();
  EXPECT_TRUE(EraseFlash());
  EXPECT_GE(world().clock().NowMs() - start, 3000u);
  EXPECT_FALSE(camera().flash().Busy());
}

}  // namespace
}  // namespace velkor::access
