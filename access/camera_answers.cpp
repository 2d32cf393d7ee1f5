// Waiting for a camera whose requests were lost to answer again.
#include "access/access_calls.h"
#include "access/flash_interface.h"
#include "access/serial_flash.h"
#include "platform/ports.h"

namespace velkor::access {

namespace {

// Up to 50 reads 20 ms apart: a second for a disturbance on the bus to pass, and a camera that
// is gone is told from one that hiccuped within that second.
constexpr int kProbes = 50;
constexpr std::uint32_t kProbeIntervalMs = 20;
constexpr int kAnswersInARow = 2;

}  // namespace

bool AwaitAnswers(DeviceIndex device) {
  if (!IsOpen(device)) {
    return false;
  }
  int inARow = 0;
  for (int probe = 0; probe < kProbes; ++probe) {
    // Reading the interface switch changes nothing on the camera.
    std::uint8_t value = 0;
    inARow = ReadRegister(device, kRegFlashEnable, &value) ? inARow + 1 : 0;
    if (inARow == kAnswersInARow) {
      return true;
    }
    if (Clock* clock = CurrentPorts().clock) {
      clock->SleepMs(kProbeIntervalMs);
    }
  }
  return false;
}

}  // namespace velkor::access
