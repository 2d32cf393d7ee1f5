// Clock port on Sleep and GetTickCount64.
#pragma once

#include "platform/clock.h"

namespace velkor::win32 {

class Win32Clock : public Clock {
 public:
  void SleepMs(std::uint32_t milliseconds) override;
  std::uint64_t NowMs() override;
};

}  // namespace velkor::win32
