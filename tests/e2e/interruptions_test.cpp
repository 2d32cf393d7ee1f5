// Whole runs around the flash window: what "Result.log" and the session's end look like while
// the flash or its protection is changed, and a camera that another program holds.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/flash_window.h"
#include "app/result_log.h"
#include "app/update_sequence.h"
#include "rigs/sim/sim_camera_lock.h"
#include "updater_harness.h"

namespace velkor::app {
namespace {

// What one request of the camera found on the host's side.
struct Sighting {
  bool exposed;  // WP# released, or the flash neither the old firmware nor the image
  std::optional<std::string> verdict;
  bool sessionEndHeld;
};

// A kill, a crash or a logoff at any request that leaves the camera exposed must find "Fail"
// in Result.log (never nothing, never a "Pass" of an earlier run) and the session's end held.
TEST_F(UpdaterRun, WhileTheCameraIsExposedResultLogSaysFailAndTheSessionEndIsHeld) {
  {
    std::ofstream stale("Result.log", std::ios::binary);
    stale << kPassBytes;  // an earlier run's
  }
  sim::SimWorld& world = Build();
  const std::vector<std::uint8_t> old = Camera().initialFlash;
  const sim::SimCamera* cam = &camera();
  std::vector<Sighting> sightings;
  world.SetReplyHook([&](int, const KsPropertyNode&, std::uint8_t*, std::uint32_t, HResult result) {
    const auto& flash = cam->flash().content();
    const bool known = std::equal(old.begin(), old.end(), flash.begin()) ||
                       std::equal(image_.begin(), image_.end(), flash.begin());
    sightings.push_back(
        {!cam->WriteProtectActive() || !known, ResultLog(), backend_->SessionEndHeld()});
    return result;
  });

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(ResultLog(), kPassBytes);
  const auto firstExposed =
      std::find_if(sightings.begin(), sightings.end(), [](const Sighting& s) { return s.exposed; });
  ASSERT_NE(firstExposed, sightings.end());
  for (auto it = sightings.begin(); it != sightings.end(); ++it) {
    if (it < firstExposed) {
      // The earlier run's "Pass" is gone from the start; "Fail" comes with the release's first
      // requests, before any of them exposes the camera.
      EXPECT_NE(it->verdict, kPassBytes) << "request " << (it - sightings.begin());
    } else if (it->exposed) {
      ASSERT_EQ(it->verdict, std::string("Fail")) << "request " << (it - sightings.begin());
      ASSERT_TRUE(it->sessionEndHeld) << "request " << (it - sightings.begin());
    }
  }
  EXPECT_EQ(sightings.front().verdict, std::nullopt);
  EXPECT_FALSE(sightings.front().sessionEndHeld);
  EXPECT_FALSE(backend_->SessionEndHeld());
  const auto held = backend_->EventsOf(HeadlessEvent::Kind::kSessionEndHeld);
  ASSERT_EQ(held.size(), 1u);
  EXPECT_EQ(held[0].text, kSessionEndBlockedReason);
  EXPECT_EQ(backend_->EventsOf(HeadlessEvent::Kind::kSessionEndReleased).size(), 1u);
  ExpectCameraLeftAsFound();
}

// A failed erase inside the window: the final "Fail" replaces the provisional one, and the
// session's end is released for the program to end as usual.
TEST_F(UpdaterRun, FailedEraseInsideTheWindowEndsWithFailAndReleasesTheSessionEnd) {
  // No controller pin reaches WP#: every attempt's erase is refused.
  sim::SimCameraConfig config = Camera();
  config.wpPin = -1;
  Build(config);

  EXPECT_EQ(Run(), 0);

  EXPECT_TRUE(backend_->ExitCalled());
  EXPECT_EQ(ResultLog(), std::string("Fail"));
  EXPECT_EQ(StatusTexts().back(), (StatusText{"Erase failed!!!", kRed}));
  EXPECT_EQ(backend_->EventsOf(HeadlessEvent::Kind::kSessionEndHeld).size(), 1u);
  EXPECT_EQ(backend_->EventsOf(HeadlessEvent::Kind::kSessionEndReleased).size(), 1u);
  EXPECT_FALSE(backend_->SessionEndHeld());
}

TEST_F(UpdaterRun, CameraHeldByAnotherProgramIsRefusedWithFailBeforeAnyRequest) {
  sim::SimCameraLock lock;
  lock.HoldElsewhere("velkor-tool (process 42)");
  cameraLock_ = &lock;
  Build().SetTrafficLogging(true);

  EXPECT_EQ(Run(), 0);

  EXPECT_TRUE(backend_->ExitCalled());
  EXPECT_EQ(ResultLog(), std::string("Fail"));
  EXPECT_EQ(StatusTexts().back(), (StatusText{kCameraBusyText, kRed}));
  EXPECT_EQ(std::count_if(world_->traffic().begin(), world_->traffic().end(),
                          [this](const sim::TrafficRecord& r) { return Counted(r); }),
            0);
  EXPECT_TRUE(FlashHolds(Camera().initialFlash));
  EXPECT_TRUE(camera().WriteProtectActive());
  EXPECT_TRUE(backend_->EventsOf(HeadlessEvent::Kind::kSessionEndHeld).empty());
}

TEST_F(UpdaterRun, UpdateHoldsTheLockOfItsCameraFromBeforeTheTrialOpen) {
  sim::SimCameraLock lock;
  cameraLock_ = &lock;
  Build();

  EXPECT_EQ(Run(), 0);

  EXPECT_EQ(ResultLog(), kPassBytes);
  EXPECT_TRUE(lock.held());  // until the process ends
  EXPECT_EQ(lock.acquisitions(), 1);
  EXPECT_EQ(lock.path(), std::u16string(sim::kSimCameraPath));
}

}  // namespace
}  // namespace velkor::app
