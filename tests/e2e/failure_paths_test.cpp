// Whole runs that find the camera and then fail: each ends with exit code 0, progress 100, a
// red status and the 4-byte "Fail" (or "Wrong Device" when the camera is gone at once).
#include "access/device.h"
#include "app/label.h"
#include "app/velkor_dlg.h"
#include "updater_harness.h"

namespace velkor::app {
namespace {

constexpr std::uint32_t kFlagsSet = 0x10000002;

// Register write of the flash's chip-erase opcode into the data-out register 0x1082.
bool IsEraseCommand(const sim::TrafficRecord& record) {
  return record.selector == 1 && record.flags == kFlagsSet && record.sent.size() == 4 &&
         record.sent[0] == 0x82 && record.sent[1] == 0x10 &&
         (record.sent[2] == 0x60 || record.sent[2] == 0xC7);
}

// The flash-write piece at flash address 0x8000: half of the image is written before it.
bool IsWriteAtHalfway(const sim::TrafficRecord& record) {
  return record.selector == 3 && record.flags == kFlagsSet && record.sent.size() == 12 &&
         record.sent[0] == 0x00 && record.sent[1] == 0x80 && record.sent[2] >= 1 &&
         record.sent[2] <= 8;
}

// The request that opens the verification's read-back stream: 8 bytes from flash address 0.
bool IsReadBackRequest(const sim::TrafficRecord& record) {
  return record.selector == 3 && record.flags == kFlagsSet && record.sent.size() == 12 &&
         record.sent[0] == 0x00 && record.sent[1] == 0x00 && record.sent[2] == 0x88;
}

class FailedRun : public UpdaterRun {
 protected:
  void ExpectFailure(const std::string& text) {
    EXPECT_EQ(exitCode_, 0);
    EXPECT_TRUE(backend_->ExitCalled());
    EXPECT_EQ(ResultLog(), std::string("Fail", 4));
    ASSERT_FALSE(StatusTexts().empty());
    EXPECT_EQ(StatusTexts().back(), (StatusText{text, kRed}));
    ASSERT_FALSE(Progress().empty());
    EXPECT_EQ(Progress().back(), 100);
  }

  // Counted camera requests of these steps, run directly on a fresh world of this camera.
  std::uint32_t RequestsOf(const std::function<void()>& steps) {
    Build(Camera());
    world_->SetTrafficLogging(true);
    InstallPorts(sim::WorldPorts(*world_));
    steps();
    std::uint32_t count = 0;
    for (const sim::TrafficRecord& record : world_->traffic()) {
      count += Counted(record) ? 1 : 0;
    }
    Discard();
    return count;
  }

  static void ListDevices() {
    char16_t paths[kPathCount][kPathLength] = {};
    int counter = 0;
    access::ListCaptureDevices(&paths[0][0], kPathCount, kPathLength, &counter);
  }

  static void OpenAndClose() {
    char16_t path[kPathLength] = {};
    std::char_traits<char16_t>::copy(path, sim::kSimCameraPath,
                                     std::char_traits<char16_t>::length(sim::kSimCameraPath));
    access::OpenDevice(path, kPathLength);
    access::CloseDevice();
  }
};

TEST_F(FailedRun, CameraGoneAtTheSecondPresenceCheckLeavesWrongDevice) {
  Build();
  tree_ = std::make_unique<RootFailingTree>(*world_, 2);

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(ResultLog(), std::string("Wrong Device\r\n", 14));
  EXPECT_EQ(StatusTexts().back(), (StatusText{"Not found device!!!", kRed}));
  EXPECT_EQ(Progress(), (std::vector<int>{0, 100}));
  EXPECT_TRUE(FlashHolds(Camera().initialFlash));
}

TEST_F(FailedRun, TrialOpenFailingLeavesFailWithoutStartingTheWorker) {
  const std::uint32_t listing = RequestsOf(ListDevices);
  ASSERT_GT(listing, 0u);
  Build();
  faults().unplugAfterRequests = listing;

  Run();

  ExpectFailure("Device Initialize failed!!!");
  EXPECT_EQ(Progress(), (std::vector<int>{0, 25, 100}));
  EXPECT_EQ(WorkerThread, nullptr);
  EXPECT_TRUE(FlashHolds(Camera().initialFlash));
}

// The worker's own open fails after the trial open worked: it ends like a failed trial open
// instead of leaving the dialog open with no verdict.
TEST_F(FailedRun, WorkingOpenFailingEndsWithFailLikeTheTrialOpen) {
  const std::uint32_t beforeWorkingOpen = RequestsOf([] {
    ListDevices();
    OpenAndClose();
    ListDevices();
  });
  Build();
  faults().unplugAfterRequests = beforeWorkingOpen;

  Run();

  ExpectFailure("Device Initialize failed!!!");
  EXPECT_NE(WorkerThread, nullptr);
  EXPECT_EQ(Progress(), (std::vector<int>{0, 25, 50, 100}));
  EXPECT_TRUE(FlashHolds(Camera().initialFlash));
}

TEST_F(FailedRun, EraseFailingSkipsTheWriteAndTheAfterWriteStepButRestoresProtection) {
  const std::uint32_t erase = RequestOrdinal(Camera(), IsEraseCommand);
  ASSERT_GT(erase, 0u);
  Build();
  faults().failRequestNumber = erase;

  Run();

  ExpectFailure("Erase failed!!!");
  EXPECT_EQ(Progress(), (std::vector<int>{0, 25, 50, 100}));
  EXPECT_TRUE(FlashHolds(Camera().initialFlash));
  EXPECT_FALSE(AfterWriteStepRan());
  EXPECT_EQ(camera().flash().Status() & kStatusBits, kProtectedStatus);
  ExpectCameraLeftAsFound();
}

TEST_F(FailedRun, WriteFailingHalfwayShowsTheWriteFailureAndSkipsTheAfterWriteStep) {
  const std::uint32_t halfway = RequestOrdinal(Camera(), IsWriteAtHalfway);
  ASSERT_GT(halfway, 0u);
  Build();
  faults().failRequestNumber = halfway;

  Run();

  ExpectFailure("Write firmware Failed!!!");
  EXPECT_FALSE(AfterWriteStepRan());
  EXPECT_FALSE(FlashHolds(image_));
  ExpectCameraLeftAsFound();
}

TEST_F(FailedRun, CameraUnpluggedInTheMiddleOfTheWriteStillEndsWithFail) {
  const std::uint32_t halfway = RequestOrdinal(Camera(), IsWriteAtHalfway);
  ASSERT_GT(halfway, 0u);
  Build();
  faults().unplugAfterRequests = halfway - 1;

  EXPECT_EQ(Run(), 0);

  ExpectFailure("Write firmware Failed!!!");
  // The first half arrived; the second half of the flash is still erased.
  EXPECT_TRUE(
      std::equal(image_.begin(), image_.begin() + 0x8000, camera().flash().content().begin()));
  EXPECT_EQ(camera().flash().ByteAt(0xFFFF), 0xFF);
}

TEST_F(FailedRun, ReadBackDifferingOnlyInTheLastByteFailsVerificationAfterAWrite) {
  sim::SimCameraConfig config = Camera();
  config.readBackFlipMask = 0x01;
  config.readBackFlipOffset = 0xFFFF;
  Build(config);

  Run();

  ExpectFailure("Check flash data Failed!!!");
  EXPECT_EQ(Progress(), (std::vector<int>{0, 25, 50, 75, 100}));
  // The write itself went through, so the after-write step runs.
  EXPECT_TRUE(FlashHolds(image_));
  EXPECT_TRUE(AfterWriteStepRan());
  EXPECT_EQ(camera().flash().Status() & kStatusBits, kProtectedStatus);
  ExpectCameraLeftAsFound();
}

// The image ends in eight zero bytes, so a read-back buffer whose last piece never arrived
// still holds what the image holds there: only the failed read itself can fail the check.
TEST_F(FailedRun, ReadBackFailingOnItsLastPieceFailsTheCheckAndStillRunsTheAfterWriteStep) {
  std::vector<std::uint8_t> image = image_;
  std::fill(image.end() - 8, image.end(), 0);
  resources_.image = image;
  // The erase's blank check reads address 0 too; the read-back's stream is the last to start there.
  const std::uint32_t readBack = RequestOrdinal(Camera(), IsReadBackRequest, /*last=*/true);
  ASSERT_GT(readBack, 0u);
  Build();
  faults().failRequestNumber = readBack + kImageSize / 8;  // the last data GET of the stream

  Run();

  ExpectFailure("Check flash data Failed!!!");
  EXPECT_EQ(Progress(), (std::vector<int>{0, 25, 50, 75, 100}));
  EXPECT_TRUE(FlashHolds(image));
  EXPECT_TRUE(AfterWriteStepRan());
  EXPECT_EQ(camera().flash().Status() & kStatusBits, kProtectedStatus);
  EXPECT_TRUE(camera().WriteProtectActive());
}

}  // namespace
}  // namespace velkor::app
