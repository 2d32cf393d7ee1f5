// Whole runs that reach the camera: the passing update, and when the poll starts it or gives up.
#include <fstream>
#include <mutex>
#include <thread>

#include "app/label.h"
#include "updater_harness.h"

namespace velkor::app {
namespace {

TEST_F(UpdaterRun, AttachedCameraIsUpdatedAndLeavesTheSeventeenBytePassVerdict) {
  Build();

  EXPECT_EQ(Run(), 0);

  EXPECT_TRUE(backend_->ExitCalled());
  EXPECT_EQ(ResultLog(), std::string("Pass\r\nR06.00.01\r\n", 17));
  EXPECT_TRUE(FlashHolds(image_));
  // The new image's block asks for protection: the status register and WP# are as before.
  EXPECT_EQ(camera().flash().Status() & kStatusBits, kProtectedStatus);
  ExpectCameraLeftAsFound();
  EXPECT_TRUE(AfterWriteStepRan());
  // Each open was closed on the thread that made it.
  EXPECT_TRUE(world_->SessionsBalanced());
  EXPECT_EQ(world_->OpenSessions(), 0);
}

TEST_F(UpdaterRun, PassingRunShowsEachStepInBlueAndLeavesTheBarAtSeventyFive) {
  Build();
  Run();

  const std::vector<StatusText> expected = {
      {"Detect Device!!!", kBlue},  {"Check Hardware ...", kBlue}, {"Update Firmware ...", kBlue},
      {"Check flash data.", kBlue}, {"Update Finish.", kBlue},
  };
  EXPECT_EQ(StatusTexts(), expected);
  EXPECT_EQ(Progress(), (std::vector<int>{0, 25, 50, 75}));
  EXPECT_EQ(backend_->CurrentText(kProgressBarId), "");
  // The label is painted at once after every colour change: 18-unit font, transparent text.
  for (const HeadlessEvent& redraw : backend_->EventsOf(HeadlessEvent::Kind::kRedraw)) {
    EXPECT_EQ(redraw.value, kRdwInvalidate | kRdwErase | kRdwUpdateNow);
  }
  for (const HeadlessEvent& paint : backend_->EventsOf(HeadlessEvent::Kind::kPaint)) {
    EXPECT_EQ(paint.value, kBkModeTransparent);
  }
  // The last two texts and their positions come from the worker.
  const auto texts = backend_->EventsOf(HeadlessEvent::Kind::kText);
  ASSERT_GE(texts.size(), 2u);
  EXPECT_FALSE(texts[2].fromWorker);
  EXPECT_TRUE(texts.back().fromWorker);
}

TEST_F(UpdaterRun, PollTimerRunsOnTheDialogAtOneSecondAndStopsAtTheFirstSighting) {
  Build();
  Run();

  const auto started = backend_->EventsOf(HeadlessEvent::Kind::kTimerStarted);
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].value, 1);
  EXPECT_EQ(started[0].extra, 1000);
  EXPECT_EQ(started[0].controlId, 0);
  EXPECT_EQ(backend_->EventsOf(HeadlessEvent::Kind::kTimerTick).size(), 1u);
  EXPECT_EQ(backend_->EventsOf(HeadlessEvent::Kind::kTimerStopped).size(), 1u);
  EXPECT_EQ(FirstTextTime("Check Hardware ..."), 1000u);
  EXPECT_EQ(AbsentTicks, 0);
}

TEST_F(UpdaterRun, WindowGetsItsBigIconThenItsSmallOneBeforeTheFirstText) {
  Build();
  Run();

  std::vector<std::int64_t> order;
  for (const HeadlessEvent& event : backend_->Events()) {
    if (event.kind == HeadlessEvent::Kind::kIconSet) {
      EXPECT_EQ(event.controlId, 0);  // on the dialog itself
      order.push_back(event.value);
    } else if (event.kind == HeadlessEvent::Kind::kText) {
      break;
    }
  }
  EXPECT_EQ(order, (std::vector<std::int64_t>{1, 0}));  // ICON_BIG, then ICON_SMALL
}

// Every sleep of the program with the moment it began on the virtual clock, the thread that
// slept, how many requests the camera had seen and how many capture sessions were open.
class SleepRecordingClock : public Clock {
 public:
  struct Sleep {
    std::uint32_t ms;
    std::uint64_t atMs;
    std::thread::id thread;
    std::size_t requestsBefore;
    int openSessions;
  };
  SleepRecordingClock(Clock& inner, const sim::SimWorld& world) : inner_(inner), world_(world) {}

  void SleepMs(std::uint32_t milliseconds) override {
    {
      // The sleeping thread is the only one sending requests at this moment.
      std::lock_guard<std::mutex> lock(mutex_);
      sleeps_.push_back({milliseconds, inner_.NowMs(), std::this_thread::get_id(),
                         world_.traffic().size(), world_.OpenSessions()});
    }
    inner_.SleepMs(milliseconds);
  }
  std::uint64_t NowMs() override { return inner_.NowMs(); }

  std::vector<Sleep> sleeps() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sleeps_;
  }

 private:
  Clock& inner_;
  const sim::SimWorld& world_;
  mutable std::mutex mutex_;
  std::vector<Sleep> sleeps_;
};

// The trial open is held 1,000 ms before its close, the working open settles 2,000 ms before
// the chip is identified, and the process ends 1,000 ms after the device was closed.
TEST_F(UpdaterRun, PausesOfTheTrialOpenTheSettleAndTheEndFallWhereTheyBelong) {
  Build().SetTrafficLogging(true);
  SleepRecordingClock clock(backend_->clock(), *world_);
  clock_ = &clock;

  Run();

  const std::vector<SleepRecordingClock::Sleep> sleeps = clock.sleeps();
  ASSERT_GE(sleeps.size(), 3u);
  const auto& trial = sleeps.front();
  const auto& settle = sleeps[1];
  const auto& end = sleeps.back();

  // The trial pause: on the dialog's thread, with the trial open still holding the camera.
  EXPECT_EQ(trial.ms, 1000u);
  EXPECT_EQ(trial.atMs, 1000u);
  EXPECT_EQ(trial.openSessions, 1);
  ASSERT_GT(trial.requestsBefore, 0u);
  EXPECT_EQ(FirstTextTime("Update Firmware ..."), 2000u);

  // The settle: the worker's first sleep, right after its listing and open (the same requests
  // as the trial's) and before any request of the identification.
  EXPECT_EQ(settle.ms, 2000u);
  EXPECT_EQ(settle.atMs, 2000u);
  EXPECT_NE(settle.thread, trial.thread);
  EXPECT_EQ(settle.openSessions, 1);
  EXPECT_EQ(settle.requestsBefore, 2 * trial.requestsBefore);

  // The end: the worker's last sleep, after the device was closed and its last request, and the
  // process ends when it is over.
  EXPECT_EQ(end.ms, 1000u);
  EXPECT_EQ(end.thread, settle.thread);
  EXPECT_EQ(end.openSessions, 0);
  EXPECT_EQ(end.requestsBefore, world_->traffic().size());
  EXPECT_TRUE(backend_->ExitCalled());
  EXPECT_EQ(world_->clock().NowMs(), end.atMs + 1000);
  EXPECT_EQ(ResultLog(), std::string("Pass\r\nR06.00.01\r\n", 17));
}

TEST_F(UpdaterRun, CameraNeverAttachedCountsFiveTicksAndTheSixthLeavesWrongDevice) {
  Build().SetCameraAttachTime(UINT64_MAX);

  EXPECT_EQ(Run(), 0);

  EXPECT_TRUE(backend_->ExitCalled());
  EXPECT_EQ(ResultLog(), std::string("Wrong Device\r\n", 14));
  const auto ticks = backend_->EventsOf(HeadlessEvent::Kind::kTimerTick);
  ASSERT_EQ(ticks.size(), 6u);
  EXPECT_EQ(ticks.back().atMs, 6000u);
  EXPECT_EQ(AbsentTicks, 6);
  // Nothing is shown before the end, and no device was touched.
  EXPECT_EQ(StatusTexts(), (std::vector<StatusText>{{"Detect Device!!!", kBlue}}));
  EXPECT_TRUE(Progress().empty());
  EXPECT_EQ(world_->OpenSessions(), 0);
}

TEST_F(UpdaterRun, CameraAttachedJustBeforeTheSixthTickIsStillUpdated) {
  Build().SetCameraAttachTime(5500);

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(FirstTextTime("Check Hardware ..."), 6000u);
  EXPECT_EQ(ResultLog(), std::string("Pass\r\nR06.00.01\r\n", 17));
  EXPECT_TRUE(FlashHolds(image_));
  ExpectCameraLeftAsFound();
}

TEST_F(UpdaterRun, CameraAttachedAfterTheSixthTickIsTooLate) {
  Build().SetCameraAttachTime(6001);

  Run();

  EXPECT_EQ(ResultLog(), std::string("Wrong Device\r\n", 14));
  EXPECT_TRUE(FlashHolds(Camera().initialFlash));
}

// The world's device tree; its first presence test (after the start has dealt with any earlier
// verdict) leaves a longer "Result.log" behind, as another program might.
class TreeWritingALongVerdictFile : public ForwardingDeviceTree {
 public:
  explicit TreeWritingALongVerdictFile(DeviceTree& inner) : ForwardingDeviceTree(inner) {}
  int LocateRoot(DeviceNode* out) override {
    if (!written_) {
      std::ofstream file("Result.log", std::ios::binary);
      file << "Wrong Device\r\nwritten while the updater was already running\r\n";
      written_ = true;
    }
    return ForwardingDeviceTree::LocateRoot(out);
  }

 private:
  bool written_ = false;
};

TEST_F(UpdaterRun, LongerResultLogCreatedAfterTheStartIsReplacedNotAppendedTo) {
  Build();
  tree_ = std::make_unique<TreeWritingALongVerdictFile>(*world_);

  Run();

  EXPECT_EQ(ResultLog(), std::string("Pass\r\nR06.00.01\r\n", 17));
}

}  // namespace
}  // namespace velkor::app
