// Whole-flash erase per flash kind and chip row, and the bounded flash waits.
#include <algorithm>

#include "access/serial_flash.h"
#include "platform/sim/sim_flash.h"
#include "sim_access_fixture.h"

namespace velkor::access {
namespace {

class FlashEraseTest : public SimAccessTest {
 protected:
  // An unprotected flash full of data, so that an erase shows in its content.
  void OpenWithData(int row, int kind) {
    sim::SimCameraConfig config;
    config.chipRow = row;
    config.flashKind = kind;
    config.initialStatus = 0x00;
    config.initialFlash.assign(sim::SimFlash::kSize, 0x5A);
    OpenCamera(config);
  }
  bool FlashErased() {
    const auto& cells = camera().flash().content();
    return std::all_of(cells.begin(), cells.end(), [](std::uint8_t b) { return b == 0xFF; });
  }
  // Command bytes sent, without the read-status polls of the idle wait.
  std::vector<std::uint8_t> Commands() {
    std::vector<std::uint8_t> out = FlashCommandBytes();
    out.erase(std::remove(out.begin(), out.end(), std::uint8_t{0x05}), out.end());
    return out;
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
  OpenWithData(2, 4);
  EXPECT_TRUE(EraseFlash());
  EXPECT_TRUE(Writes().empty());
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
  EXPECT_FALSE(FlashErased());
}

TEST_F(FlashEraseTest, ControllerEraseReportsTheSlotsResult) {
  OpenWithData(9, 5);
  faults().failSelector = 3;
  EXPECT_FALSE(EraseFlash());
  EXPECT_FALSE(FlashErased());
  CloseDevice();
  world().ClearTraffic();
  EXPECT_FALSE(EraseFlash());  // closed: nothing sent
  EXPECT_TRUE(world().traffic().empty());
}

// A request lost between the write enable and the end of the sequence leaves the flash as it
// was; the erase must not be reported as done, and the interface is still switched off.
TEST_F(FlashEraseTest, ARequestLostInTheMiddleOfTheSequenceFailsTheErase) {
  sim::SimCameraConfig config;
  config.chipRow = 11;  // the host erases; no flash-access setup needed without a release
  config.flashKind = 4;
  config.initialStatus = 0x00;
  config.initialFlash.assign(sim::SimFlash::kSize, 0x5A);

  // Where the erase command byte falls in the sequence, from a run where nothing is lost.
  StartWorld(config);
  ASSERT_EQ(Open(), 2);
  world().ClearTraffic();
  ASSERT_TRUE(EraseFlash());
  const std::vector<std::uint8_t> eraseByteWrite = {0x82, 0x10, 0x60, 0x00};
  const auto& dry = world().traffic();
  const auto at = std::find_if(dry.begin(), dry.end(), [&](const sim::TrafficRecord& t) {
    return t.selector == 1 && t.sent == eraseByteWrite;
  });
  ASSERT_NE(at, dry.end());
  const auto offset = static_cast<std::uint32_t>(at - dry.begin()) + 1;
  CloseDevice();

  StartWorld(config);
  ASSERT_EQ(Open(), 2);
  faults().failRequestNumber = ServedRequests() + offset;
  writesBefore_ = camera().registerWrites().size();
  EXPECT_FALSE(EraseFlash());
  const auto writes = Writes();
  EXPECT_EQ(std::count(writes.begin(), writes.end(),
                       std::pair<std::uint16_t, std::uint8_t>{0x1082, 0x60}),
            0);  // exactly the erase byte was lost
  EXPECT_FALSE(FlashErased());
  EXPECT_EQ(WritesTo(0x1080).back(), 0);
  EXPECT_EQ(WritesTo(0x1091).back(), 1);
}

TEST_F(FlashEraseTest, FlashThatStaysBusyCostsTenThousandPassesOfVirtualTimeAndKeepsItSelected) {
  sim::SimCameraConfig config;
  config.chipRow = 5;
  config.initialStatus = 0x00;
  config.flashBusyNeverClears = true;
  OpenCamera(config);
  const std::uint64_t start = world().clock().NowMs();
  EXPECT_TRUE(EraseFlash());  // the wait gives up silently and the sequence goes on
  EXPECT_GE(world().clock().NowMs() - start, 10000u);
  const auto commands = FlashCommandBytes();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), std::uint8_t{0x05}), 10000);
  EXPECT_EQ(WritesTo(0x1091).back(), 0);  // chip select never released
  EXPECT_EQ(WritesTo(0x1080).back(), 0);
}

// A camera unplugged while the flash erases: the last status it gave said busy, and every
// read after that fails. The waits end at the first failed read instead of polling a stale
// "busy" for 10,000 passes of two 1,000-poll transfer waits (hours on a bench), and the erase
// is reported as failed.
TEST_F(FlashEraseTest, CameraUnpluggedWhileTheFlashIsBusyEndsTheWaitAtOnce) {
  sim::SimCameraConfig config;
  config.chipRow = 5;
  config.flashKind = 4;
  config.initialStatus = 0x00;
  config.chipEraseMs = 5000;
  OpenCamera(config);
  // Let the erase start and a few busy status reads through, then pull the plug.
  faults().unplugAfterRequests = ServedRequests() + 60;
  const std::uint64_t start = world().clock().NowMs();
  EXPECT_FALSE(EraseFlash());
  EXPECT_LT(world().clock().NowMs() - start, 100u);
  EXPECT_LT(world().traffic().size(), 200u);
}

TEST_F(FlashEraseTest, StatusReadThatFailsEndsTheIdleWaitWithTheFlashReleased) {
  sim::SimCameraConfig config;
  config.chipRow = 5;
  config.initialStatus = 0x00;
  OpenCamera(config);
  // The eleventh request of a pass is the GET that reads the status byte back.
  faults().failRequestNumber = ServedRequests() + 11;
  writesBefore_ = camera().registerWrites().size();
  WaitFlashIdle(0);
  EXPECT_EQ(WritesTo(0x1091), (std::vector<std::uint8_t>{0, 1}));
}

TEST_F(FlashEraseTest, TransferThatNeverCompletesIsPolledAThousandTimesAMillisecondApart) {
  sim::SimCameraConfig config;
  config.chipRow = 5;
  config.transferDoneNeverSettles = true;
  OpenCamera(config);
  const std::uint64_t start = world().clock().NowMs();
  WaitFlashReady(0);
  EXPECT_EQ(world().clock().NowMs() - start, 1000u);
  EXPECT_EQ(RegisterReads(), std::vector<std::uint16_t>(1000, 0x1084));
}

}  // namespace
}  // namespace velkor::access
