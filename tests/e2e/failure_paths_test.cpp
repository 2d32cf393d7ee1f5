// Whole runs that find the camera and then fail: each ends with exit code 0, progress 100, a
// red status and the 4-byte "Fail" (or "Wrong Device" when the camera is gone at once).
#include "access/device.h"
#include "app/label.h"
#include "app/velkor_dlg.h"
#include "updater_harness.h"

namespace velkor::app {
namespace {

constexpr std::uint32_t kFlagsSet = 0x10000002;

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

// A flash whose WP# no controller pin reaches keeps its protection: every attempt's erase is
// refused, nothing is written, and the status register, still protected, confirms the restore.
TEST_F(FailedRun, EraseRefusedOnEveryAttemptSkipsTheWriteAndTheAfterWriteStep) {
  sim::SimCameraConfig config = Camera();
  config.wpPin = -1;
  Build(config);
  world_->SetTrafficLogging(true);

  Run();

  ExpectFailure("Erase failed!!!");
  EXPECT_EQ(Progress(), (std::vector<int>{0, 25, 50, 100, 50, 100, 50, 100}));
  std::uint32_t eraseCommands = 0;
  for (const sim::TrafficRecord& record : world_->traffic()) {
    eraseCommands += IsEraseCommand(record) ? 1 : 0;
  }
  EXPECT_EQ(eraseCommands, 3u);
  EXPECT_TRUE(FlashHolds(Camera().initialFlash));
  EXPECT_FALSE(AfterWriteStepRan());
  EXPECT_EQ(camera().flash().Status() & kStatusBits, kProtectedStatus);
  ExpectCameraLeftAsFound();
}

// One lost request costs an attempt, not the firmware: the erase, the write and the compare
// run again and the camera ends with the image and its protection, the retry on the screen.
TEST_F(FailedRun, OneLostEraseOrWriteRequestIsRetriedToAPass) {
  for (const auto& at : {std::function<bool(const sim::TrafficRecord&)>(IsEraseCommand),
                         std::function<bool(const sim::TrafficRecord&)>(IsWriteAtHalfway)}) {
    const std::uint32_t ordinal = RequestOrdinal(Camera(), at);
    ASSERT_GT(ordinal, 0u);
    Build();
    faults().failRequestNumber = ordinal;

    Run();

    EXPECT_EQ(ResultLog(), std::string("Pass\r\nR06.00.01\r\n", 17));
    EXPECT_EQ(StatusTexts().back(), (StatusText{"Update Finish. (after a retry)", kBlue}));
    EXPECT_NE(std::find(StatusTexts().begin(), StatusTexts().end(),
                        StatusText{"Retrying the update ...", kBlue}),
              StatusTexts().end());
    EXPECT_TRUE(FlashHolds(image_));
    EXPECT_EQ(camera().flash().Status() & kStatusBits, kProtectedStatus);
    EXPECT_TRUE(camera().WriteProtectActive());
    Discard();
  }
}

TEST_F(FailedRun, CameraUnpluggedInTheMiddleOfTheWriteStillEndsWithFail) {
  const std::uint32_t halfway = RequestOrdinal(Camera(), IsWriteAtHalfway);
  ASSERT_GT(halfway, 0u);
  Build();
  faults().unplugAfterRequests = halfway - 1;

  EXPECT_EQ(Run(), 0);

  // The restore cannot reach a camera that is gone, and that is what the screen says.
  ExpectFailure("Restore protection failed!!!");
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

  // Three attempts, each written and read back twice.
  ExpectFailure("Check flash data Failed!!!");
  EXPECT_EQ(Progress(), (std::vector<int>{0, 25, 50, 75, 100, 50, 75, 100, 50, 75, 100}));
  // The write itself went through, so the after-write step runs.
  EXPECT_TRUE(FlashHolds(image_));
  EXPECT_TRUE(AfterWriteStepRan());
  EXPECT_EQ(camera().flash().Status() & kStatusBits, kProtectedStatus);
  ExpectCameraLeftAsFound();
}

// The image ends in eight zero bytes, so a read-back buffer whose last piece never arrived
// still holds what the image holds there: the failed read is not judged, it is read again.
TEST_F(FailedRun, ReadBackFailingOnItsLastPieceIsReadAgainAndPasses) {
  std::vector<std::uint8_t> image = image_;
  std::fill(image.end() - 8, image.end(), 0);
  resources_.image = image;
  // The erase's blank check reads address 0 too; the read-back's stream is the last to start there.
  const std::uint32_t readBack = RequestOrdinal(Camera(), IsReadBackRequest, /*last=*/true);
  ASSERT_GT(readBack, 0u);
  Build();
  world_->SetTrafficLogging(true);
  faults().failRequestNumber = readBack + kImageSize / 8;  // the last data GET of the stream

  Run();

  EXPECT_EQ(ResultLog(), std::string("Pass\r\nR06.00.01\r\n", 17));
  EXPECT_EQ(StatusTexts().back(), (StatusText{"Update Finish.", kBlue}));
  std::uint32_t readBackStreams = 0;
  for (const sim::TrafficRecord& record : world_->traffic()) {
    readBackStreams += IsReadBackRequest(record) ? 1 : 0;
  }
  EXPECT_EQ(readBackStreams, 3u);  // the blank check's sample, the failed read-back, its repeat
  EXPECT_TRUE(FlashHolds(image));
  EXPECT_EQ(camera().flash().Status() & kStatusBits, kProtectedStatus);
}

}  // namespace
}  // namespace velkor::app
