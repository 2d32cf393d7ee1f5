// The front end's clock pacing: the world's clock follows sleeps and real time, never back.
#include "rigs/sim_frontend/paced_clock.h"

#include <gtest/gtest.h>

#include "rigs/sim_frontend/sim_world_builder.h"

namespace velkor::sim {
namespace {

// Stands in for the machine's clock: time moves when it "really" sleeps or the test says so.
class FakeRealClock : public Clock {
 public:
  void SleepMs(std::uint32_t milliseconds) override {
    now += milliseconds + overshootMs;
    ++sleeps;
  }
  std::uint64_t NowMs() override { return now; }
  std::uint64_t now = 5000;  // an arbitrary origin
  std::uint32_t overshootMs = 0;
  int sleeps = 0;
};

TEST(PacedClockSleeping, AdvancesTheWorldByTheSleepAndByRealOvershoot) {
  FakeRealClock real;
  VirtualClock world;
  PacedClock clock(real, world, true);

  clock.SleepMs(1000);
  EXPECT_EQ(world.NowMs(), 1000u);
  EXPECT_EQ(real.sleeps, 1);

  real.overshootMs = 3;  // the machine slept a little longer than asked
  clock.SleepMs(10);
  EXPECT_EQ(world.NowMs(), 1013u);
  EXPECT_EQ(clock.NowMs(), 1013u);
}

TEST(PacedClockSleeping, FastModeAdvancesTheWorldWithoutWaiting) {
  FakeRealClock real;
  VirtualClock world;
  PacedClock clock(real, world, false);
  for (int i = 0; i < 800; ++i) {
    clock.SleepMs(1);
  }
  EXPECT_EQ(real.sleeps, 0);
  EXPECT_EQ(world.NowMs(), 800u);
  // Real time that passes later still carries the world along once it has caught up.
  real.now += 900;
  EXPECT_EQ(clock.NowMs(), 900u);
}

TEST(PacedClockCatchUp, FollowsRealTimeAndNeverGoesBack) {
  FakeRealClock real;
  VirtualClock world;
  PacedClock clock(real, world, true);
  real.now += 2500;
  clock.CatchUp();
  EXPECT_EQ(world.NowMs(), 2500u);
  world.Advance(1000);  // ahead of real time: catching up must not move it back
  clock.CatchUp();
  EXPECT_EQ(world.NowMs(), 3500u);
}

TEST(PacedDeviceTreeQueries, SeeACameraThatAppearedInRealTime) {
  SimFrontendOptions options = DefaultSimFrontendOptions();
  options.attachAtMs = AttachTimeForTick(3);
  auto world = BuildSimWorld(options);
  FakeRealClock real;
  PacedClock clock(real, world->clock(), true);
  PacedDeviceTree tree(*world, clock);

  DeviceNode root = 0;
  real.now += 2400;
  ASSERT_EQ(tree.LocateRoot(&root), cr::kSuccess);
  EXPECT_FALSE(world->CameraAttached());
  real.now += 200;  // 2,600 ms: past the attach time, before tick 3
  ASSERT_EQ(tree.LocateRoot(&root), cr::kSuccess);
  EXPECT_TRUE(world->CameraAttached());
}

}  // namespace
}  // namespace velkor::sim
