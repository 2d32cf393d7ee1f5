// RealClock: std::this_thread::sleep_for and std::chrono::steady_clock.
#include "platform/linux/real_clock.h"

#include <chrono>
#include <thread>

namespace velkor {
namespace {
std::int64_t SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

RealClock::RealClock() : originNs_(SteadyNs()) {}

void RealClock::SleepMs(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::uint64_t RealClock::NowMs() {
  return static_cast<std::uint64_t>((SteadyNs() - originNs_) / 1000000);
}

}  // namespace velkor
