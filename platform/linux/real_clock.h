// The Clock port on the machine's steady clock: sleeps really wait.
#pragma once

#include "platform/clock.h"

namespace velkor {

class RealClock : public Clock {
 public:
  RealClock();
  void SleepMs(std::uint32_t milliseconds) override;
  std::uint64_t NowMs() override;  // milliseconds since this clock was made

 private:
  std::int64_t originNs_;
};

}  // namespace velkor
