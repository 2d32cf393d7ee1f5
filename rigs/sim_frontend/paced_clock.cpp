// PacedClock and PacedDeviceTree: the world's virtual clock following real time.
#include "rigs/sim_frontend/paced_clock.h"

#include <algorithm>

namespace velkor::sim {

PacedClock::PacedClock(Clock& real, VirtualClock& world, bool realSleeps)
    : real_(real), world_(world), realSleeps_(realSleeps), realOrigin_(real.NowMs()) {}

void PacedClock::SleepMs(std::uint32_t milliseconds) {
  const std::uint64_t target = world_.NowMs() + milliseconds;
  if (realSleeps_) {
    real_.SleepMs(milliseconds);
  }
  AdvanceTo(std::max(target, real_.NowMs() - realOrigin_));
}

std::uint64_t PacedClock::NowMs() {
  CatchUp();
  return world_.NowMs();
}

void PacedClock::CatchUp() {
  AdvanceTo(real_.NowMs() - realOrigin_);
}

void PacedClock::AdvanceTo(std::uint64_t target) {
  // Two threads may catch up at once; the lock keeps them from advancing twice.
  std::lock_guard<std::mutex> lock(mutex_);
  const std::uint64_t now = world_.NowMs();
  if (target > now) {
    world_.Advance(target - now);
  }
}

int PacedDeviceTree::LocateRoot(DeviceNode* out) {
  clock_.CatchUp();
  return tree_.LocateRoot(out);
}

int PacedDeviceTree::GetChild(DeviceNode* out, DeviceNode node) {
  clock_.CatchUp();
  return tree_.GetChild(out, node);
}

int PacedDeviceTree::GetSibling(DeviceNode* out, DeviceNode node) {
  clock_.CatchUp();
  return tree_.GetSibling(out, node);
}

int PacedDeviceTree::GetParent(DeviceNode* out, DeviceNode node) {
  clock_.CatchUp();
  return tree_.GetParent(out, node);
}

int PacedDeviceTree::GetProperty(DeviceNode node, int property, char* buffer,
                                 std::uint32_t* length) {
  clock_.CatchUp();
  return tree_.GetProperty(node, property, buffer, length);
}

}  // namespace velkor::sim
