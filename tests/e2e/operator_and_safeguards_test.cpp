// Whole runs around the operator's keys and close button, a bad firmware image, a camera whose
// path lacks the USB id, and a verdict file that cannot be created.
#include <algorithm>
#include <fstream>

#include "app/flash_window.h"
#include "app/label.h"
#include "app/result_log.h"
#include "updater_harness.h"

namespace velkor::app {
namespace {

struct EarlyInput {
  HeadlessInput input;
  INT_PTR dialogResult;
};

class InputBeforeTheCamera : public UpdaterRun, public ::testing::WithParamInterface<EarlyInput> {};

TEST_P(InputBeforeTheCamera, EndsTheProgramAtOnceWithoutAVerdict) {
  Build().SetCameraAttachTime(UINT64_MAX);
  backend_->Inject(GetParam().input, HeadlessTrigger::AfterTick(2));

  EXPECT_EQ(Run(), 0);

  EXPECT_FALSE(backend_->ExitCalled());  // the dialog ended and the program returned
  const auto ended = backend_->EventsOf(HeadlessEvent::Kind::kDialogEnded);
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_EQ(ended[0].value, GetParam().dialogResult);
  EXPECT_EQ(ended[0].atMs, 2000u);
  EXPECT_EQ(ResultLog(), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(UpdaterRun, InputBeforeTheCamera,
                         ::testing::Values(EarlyInput{HeadlessInput::kEnter, kIdOk},
                                           EarlyInput{HeadlessInput::kEscape, kIdCancel},
                                           EarlyInput{HeadlessInput::kClose, kIdCancel}));

// One stray key between erase and write would leave the camera without firmware.
TEST_F(UpdaterRun, EnterAndEscapeWhileTheWorkerRunsAreIgnored) {
  Build();
  backend_->Inject(HeadlessInput::kEnter, HeadlessTrigger::OnText("Update Firmware ..."));
  backend_->Inject(HeadlessInput::kEscape, HeadlessTrigger::OnText("Check flash data."));
  backend_->Inject(HeadlessInput::kEnter, HeadlessTrigger::OnText("Check flash data."));

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(backend_->EventsOf(HeadlessEvent::Kind::kInput).size(), 3u);
  EXPECT_TRUE(backend_->EventsOf(HeadlessEvent::Kind::kDialogEnded).empty());
  EXPECT_EQ(ResultLog(), kPassBytes);
  EXPECT_TRUE(FlashHolds(image_));
  ExpectCameraLeftAsFound();
}

// Closing between the release and the verdict would leave the flash erased or unprotected: the
// request is held and noted, the update runs to its end, and the program ends with its verdict.
TEST_F(UpdaterRun, ClosingTheWindowDuringTheFlashWindowIsHeldUntilTheVerdict) {
  Build();
  backend_->Inject(HeadlessInput::kClose, HeadlessTrigger::OnText("Check flash data."));

  EXPECT_EQ(Run(), 0);

  EXPECT_TRUE(backend_->ExitCalled());
  EXPECT_EQ(ResultLog(), kPassBytes);
  EXPECT_TRUE(FlashHolds(image_));
  EXPECT_TRUE(AfterWriteStepRan());
  ExpectCameraLeftAsFound();
  const auto texts = StatusTexts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), StatusText{kEndHeldText, kBlue}), texts.end());
  EXPECT_EQ(texts.back(), (StatusText{"Update Finish.", kBlue}));
  EXPECT_TRUE(backend_->EventsOf(HeadlessEvent::Kind::kDialogEnded).empty());
}

// A verdict left by an earlier run must not be read as this run's when this one ends without
// a verdict of its own.
TEST_F(UpdaterRun, ClosingTheWindowLeavesNoEarlierRunsPassBehind) {
  {
    std::ofstream stale("Result.log", std::ios::binary);
    stale << kPassBytes;
  }
  Build();
  backend_->Inject(HeadlessInput::kClose, HeadlessTrigger::OnText("Update Firmware ..."));

  EXPECT_EQ(Run(), 0);

  EXPECT_TRUE(backend_->ExitCalled());
  EXPECT_EQ(ResultLog(), std::nullopt);
}

// "Result.log" as a symbolic link to a file elsewhere: the start neither removes the link nor
// what it points to, and the verdict is written through it, over the earlier one.
TEST_F(UpdaterRun, VerdictIsWrittenThroughASymbolicLinkThatTheStartLeavesInPlace) {
  std::filesystem::create_directory("elsewhere");
  {
    std::ofstream earlier("elsewhere/verdict.txt", std::ios::binary);
    earlier << kPassBytes;
  }
  std::filesystem::create_symlink("elsewhere/verdict.txt", "Result.log");
  Build().SetCameraAttachTime(UINT64_MAX);

  EXPECT_EQ(Run(), 0);

  EXPECT_TRUE(std::filesystem::is_symlink("Result.log"));
  std::ifstream target("elsewhere/verdict.txt", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(target), {}),
            std::string("Wrong Device\r\n", 14));
}

// A run that ends without a verdict leaves the link and the file behind it as they were.
TEST_F(UpdaterRun, ClosingTheWindowLeavesASymbolicLinkAndItsTargetAlone) {
  {
    std::ofstream earlier("verdict.txt", std::ios::binary);
    earlier << kPassBytes;
  }
  std::filesystem::create_symlink("verdict.txt", "Result.log");
  Build().SetCameraAttachTime(UINT64_MAX);
  backend_->Inject(HeadlessInput::kClose, HeadlessTrigger::AfterTick(2));

  EXPECT_EQ(Run(), 0);

  EXPECT_TRUE(std::filesystem::is_symlink("Result.log"));
  EXPECT_EQ(ResultLog(), kPassBytes);
}

class BadFirmwareImage : public UpdaterRun,
                         public ::testing::WithParamInterface<std::optional<std::size_t>> {};

TEST_P(BadFirmwareImage, NeverReachesTheCameraAndLeavesFailAfterAPause) {
  if (GetParam()) {
    resources_.image = std::vector<std::uint8_t>(*GetParam(), 0x5A);
  } else {
    resources_.image.reset();
  }
  Build().SetTrafficLogging(true);

  EXPECT_EQ(Run(), 0);

  EXPECT_TRUE(backend_->ExitCalled());
  EXPECT_EQ(ResultLog(), std::string("Fail", 4));
  EXPECT_EQ(StatusTexts().front(), (StatusText{"Firmware image invalid!!!", kRed}));
  EXPECT_EQ(StatusTexts().back(), (StatusText{"Firmware image invalid!!!", kRed}));
  // First tick at 1,000 ms, then the 1,000 ms pause before the end.
  EXPECT_EQ(world_->clock().NowMs(), 2000u);
  EXPECT_TRUE(world_->traffic().empty());
  EXPECT_TRUE(FlashHolds(Camera().initialFlash));
}

INSTANTIATE_TEST_SUITE_P(UpdaterRun, BadFirmwareImage,
                         ::testing::Values(std::nullopt, std::optional<std::size_t>(65535),
                                           std::optional<std::size_t>(65537),
                                           std::optional<std::size_t>(0)));

TEST_F(UpdaterRun, CameraWhosePathLacksTheUsbIdIsNeverOpened) {
  sim::SimCameraConfig config = Camera();
  world_ = std::make_unique<sim::SimWorld>();
  backend_ = std::make_unique<HeadlessBackend>(world_->clock());
  sim::SimCaptureDeviceConfig device;
  device.devicePath = u"\\\\?\\usb#vid_5d1b&pid_c03e&mi_00#6&5aaffc2&0&0000#{65e8773d}\\global";
  device.camera = std::make_shared<sim::SimCamera>(config, world_->clock());
  world_->AddCaptureDevice(std::move(device));
  world_->SetTrafficLogging(true);

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(TargetIndex, -1);
  EXPECT_EQ(ResultLog(), std::string("Fail", 4));
  EXPECT_EQ(StatusTexts().back(), (StatusText{"Device Initialize failed!!!", kRed}));
  EXPECT_EQ(Progress().back(), 100);
  EXPECT_EQ(WorkerThread, nullptr);
  // Only the listing spoke to the camera: no register was written.
  EXPECT_TRUE(world_->device(0).camera->registerWrites().empty());
}

// A verdict that could not be written would let a line script read nothing, or an old verdict:
// the update refuses to start, with the camera untouched.
TEST_F(UpdaterRun, VerdictFileThatCannotBeCreatedStopsTheRunBeforeTheCameraChanges) {
  std::filesystem::create_directory("Result.log");
  Build();

  EXPECT_EQ(Run(), 0);

  EXPECT_TRUE(backend_->ExitCalled());
  EXPECT_EQ(StatusTexts().back(), (StatusText{kResultLogUnwritableText, kRed}));
  EXPECT_TRUE(std::filesystem::is_directory("Result.log"));
  EXPECT_TRUE(FlashHolds(Camera().initialFlash));
  EXPECT_TRUE(camera().registerWrites().empty());
  EXPECT_TRUE(camera().WriteProtectActive());
}

}  // namespace
}  // namespace velkor::app
