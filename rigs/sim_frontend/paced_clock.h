// Keeps the simulated world's virtual clock in step with real time, so that the updater's
// real sleeps and one-second poll ticks, the simulated flash's erase and status-write times and
// the camera's attach time all pass together.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/capture_system.h"
#include "platform/clock.h"
#include "platform/device_tree.h"
#include "rigs/sim/virtual_clock.h"

namespace velkor::sim {

class PacedClock : public Clock {
 public:
  // real: the machine's clock; world: the simulated world's clock, moved forward only.
  // realSleeps false: a sleep advances the world's clock without waiting.
  PacedClock(Clock& real, VirtualClock& world, bool realSleeps);

  // Sleeps (really, unless disabled), then moves the world's clock forward by at least the
  // same amount, and further if real time has run ahead of it.
  void SleepMs(std::uint32_t milliseconds) override;
  // The world's time, after catching up with real time.
  std::uint64_t NowMs() override;

  // Moves the world's clock to the real time elapsed since construction when it lags behind.
  void CatchUp();

 private:
  void AdvanceTo(std::uint64_t target);

  Clock& real_;
  VirtualClock& world_;
  bool realSleeps_;
  std::uint64_t realOrigin_;
  std::mutex mutex_;
};

// A device tree that brings the world's clock up to real time before every query, so that a
// camera due to appear at some time is seen by a poll that runs on real timer ticks.
class PacedDeviceTree : public DeviceTree {
 public:
  PacedDeviceTree(DeviceTree& tree, PacedClock& clock) : tree_(tree), clock_(clock) {}

  int LocateRoot(DeviceNode* out) override;
  int GetChild(DeviceNode* out, DeviceNode node) override;
  int GetSibling(DeviceNode* out, DeviceNode node) override;
  int GetParent(DeviceNode* out, DeviceNode node) override;
  int GetProperty(DeviceNode node, int property, char* buffer, std::uint32_t* length) override;

 private:
  DeviceTree& tree_;
  PacedClock& clock_;
};

// A capture system that brings the world's clock up to real time before each enumeration, so
// that a program that lists cameras without sleeping through the clock port (the station
// waits on its own) sees a camera appear when it is due.
class PacedCaptureSystem : public CaptureSystem {
 public:
  PacedCaptureSystem(CaptureSystem& system, PacedClock& clock) : system_(system), clock_(clock) {}

  HResult BeginSession() override { return system_.BeginSession(); }
  void EndSession() override { system_.EndSession(); }
  HResult CreateSystemDeviceEnumerator(std::unique_ptr<SystemDeviceEnumerator>* e) override {
    clock_.CatchUp();
    return system_.CreateSystemDeviceEnumerator(e);
  }

 private:
  CaptureSystem& system_;
  PacedClock& clock_;
};

}  // namespace velkor::sim
