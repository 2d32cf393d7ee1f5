// Whole runs that reach the camera: the passing update, and when the poll starts it or gives up.
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
  // Both window icons were set from the application icon.
  EXPECT_EQ(backend_->EventsOf(HeadlessEvent::Kind::kIconSet).size(), 2u);
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

TEST_F(UpdaterRun, StaleLongerResultLogIsReplacedNotAppendedTo) {
  {
    std::ofstream stale("Result.log", std::ios::binary);
    stale << "Wrong Device\r\nleft over from an earlier run of the updater\r\n";
  }
  Build();

  Run();

  EXPECT_EQ(ResultLog(), std::string("Pass\r\nR06.00.01\r\n", 17));
}

}  // namespace
}  // namespace velkor::app
