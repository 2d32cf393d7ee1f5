// A clock that only moves when somebody sleeps or the test advances it: no real waiting.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/clock.h"

namespace velkor::sim {

class VirtualClock : public Clock {
 public:
  void SleepMs(std::uint32_t milliseconds) override { now_ += milliseconds; }
  std::uint64_t NowMs() override { return now_.load(); }
  void Advance(std::uint64_t milliseconds) { now_ += milliseconds; }

 private:
  std::atomic<std::uint64_t> now_{0};
};

}  // namespace velkor::sim
