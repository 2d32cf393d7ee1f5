// The bounded flash waits: what they report, how lost requests and a camera that is gone end
// them, and that the flash is always released afterwards.
#include <algorithm>

#include "access/access_calls.h"
#include "access/serial_flash.h"
#include "rigs/sim/sim_flash.h"
#include "sim_access_fixture.h"

namespace velkor::access {
namespace {

class FlashWaitTest : public SimAccessTest {
 protected:
  void OpenRow5(const sim::SimCameraConfig& base = {}) {
    sim::SimCameraConfig config = base;
    config.chipRow = 5;
    config.initialStatus = 0x00;
    OpenCamera(config);
    WriteRegister(0, 0x1080, 1);  // the waits run inside a command sequence
    ClearLogs();
  }
};

TEST_F(FlashWaitTest, TransferThatNeverCompletesIsPolledAThousandTimesAMillisecondApart) {
  sim::SimCameraConfig config;
  config.transferDoneNeverSettles = true;
  OpenRow5(config);
  const std::uint64_t start = world().clock().NowMs();
  EXPECT_FALSE(WaitFlashReady(0));
  EXPECT_EQ(world().clock().NowMs() - start, 1000u);
  EXPECT_EQ(RegisterReads(), std::vector<std::uint16_t>(1000, 0x1084));
}

// The bound is a failure, not a silent success, and the flash is released: left selected, it
// would take the next command as one more byte of the status read. It is a deadline on the
// clock, 40 s, past the slowest healthy chip erase.
TEST_F(FlashWaitTest, FlashThatStaysBusyIsGivenUpAtTheDeadlineAndReleased) {
  sim::SimCameraConfig config;
  config.flashBusyNeverClears = true;
  OpenRow5(config);
  const std::uint64_t start = world().clock().NowMs();
  std::uint8_t status = 0;
  bool timedOut = false;
  EXPECT_FALSE(WaitFlashIdle(0, &status, &timedOut));
  EXPECT_TRUE(timedOut);
  EXPECT_GE(world().clock().NowMs() - start, 40000u);
  EXPECT_LT(world().clock().NowMs() - start, 40100u);
  EXPECT_EQ(status & 0x01, 0x01);
  const auto select = WritesTo(0x1091);
  EXPECT_EQ(std::count(select.begin(), select.end(), std::uint8_t{1}), 1);
  EXPECT_EQ(select.back(), 1);
  EXPECT_FALSE(camera().flash().selected());
}

// A flash still selected from a command whose release was lost answers the status read with
// the bus's idle level, 0xFF, which has the busy bit set. That is no answer: the chip select is
// released and the next read finds the flash idle.
TEST_F(FlashWaitTest, FlashLeftSelectedByALostReleaseIsFoundIdle) {
  OpenRow5();
  WriteRegister(0, 0x1091, 0);  // a write-enable session whose release never arrived
  WriteRegister(0, 0x1082, 0x06);
  WriteRegister(0, 0x1081, 1);
  ASSERT_TRUE(WaitFlashReady(0));
  ClearLogs();
  const std::uint64_t start = world().clock().NowMs();
  std::uint8_t status = 0;
  EXPECT_TRUE(WaitFlashIdle(0, &status));
  EXPECT_NE(status, 0xFF);
  EXPECT_LT(world().clock().NowMs() - start, 10u);
  EXPECT_FALSE(camera().flash().selected());
}

// Each status read whose first request is lost fails as a whole. Seven in a row are glitches the
// wait polls through; the eighth ends it as not idle within milliseconds.
TEST_F(FlashWaitTest, ARunOfFailedStatusReadsEndsTheWaitOnlyAtTheEighth) {
  for (const std::uint32_t run : {7u, 8u}) {
    SCOPED_TRACE(run);
    OpenRow5();
    faults().failRequestNumber = servedBeforeLog_ + 1;
    faults().failRequestRun = run;
    const std::uint64_t start = world().clock().NowMs();
    EXPECT_EQ(WaitFlashIdle(0), run == 7);
    EXPECT_LT(world().clock().NowMs() - start, 10u);
    EXPECT_EQ(WritesTo(0x1091).back(), 1);
    CloseDevice();
  }
}

// A lost receive trigger leaves in the data-in register the 0 the host wrote there, which reads
// as "idle". The read is known to have failed, so it does not count.
TEST_F(FlashWaitTest, StatusReadWithALostReceiveTriggerIsNotTakenForIdle) {
  sim::SimCameraConfig config;
  config.statusWriteMs = 50;
  OpenRow5(config);
  StartStatusWriteOnTheFlash();
  ASSERT_TRUE(camera().flash().Busy());
  // Requests of a status read: 1091, 1082, 1081, 1084 latch and GET, 1083, then the receive.
  faults().failRequestNumber = servedBeforeLog_ + 7;
  EXPECT_TRUE(WaitFlashIdle(0));
  EXPECT_FALSE(camera().flash().Busy());
}

// A camera unplugged while the flash erases: every read after the last busy status fails. The
// erase ends at the eighth failed read instead of polling for hours, and is reported failed.
TEST_F(FlashWaitTest, CameraUnpluggedWhileTheFlashErasesFailsTheEraseInMilliseconds) {
  sim::SimCameraConfig config;
  config.chipRow = 5;
  config.flashKind = 4;
  config.initialStatus = 0x00;
  config.chipEraseMs = 5000;
  OpenCamera(config);
  // Idle wait, write enable, latch check and erase command take 37 requests; a few busy status
  // reads follow before the plug is pulled.
  faults().unplugAfterRequests = servedBeforeLog_ + 60;
  const std::uint64_t start = world().clock().NowMs();
  EXPECT_FALSE(EraseFlash());
  EXPECT_LT(world().clock().NowMs() - start, 100u);
  EXPECT_LT(world().traffic().size(), 200u);
  EXPECT_TRUE(camera().flash().Busy());  // it was erasing when the plug was pulled
}

}  // namespace
}  // namespace velkor::access
