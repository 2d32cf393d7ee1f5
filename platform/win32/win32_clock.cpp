// Clock port on Sleep and GetTickCount64 (monotonic, does not wrap after 49 days).
#include "platform/win32/win32_clock.h"

#include "platform/win32/windows_api.h"

namespace velkor::win32 {

void Win32Clock::SleepMs(std::uint32_t milliseconds) {
  Sleep(milliseconds);
}

std::uint64_t Win32Clock::NowMs() {
  return GetTickCount64();
}

}  // namespace velkor::win32
