// Clock port: millisecond sleeps and the time now. The simulated world runs on a virtual clock,
// so waits that would take real seconds on hardware cost none in tests.
#pragma once

#include <cstdint>

namespace velkor {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual void SleepMs(std::uint32_t milliseconds) = 0;  // blocks the calling thread
  virtual std::uint64_t NowMs() = 0;                     // monotonic, from an arbitrary origin
};

}  // namespace velkor
