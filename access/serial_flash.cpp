// Flash-interface waits, command framing and the flash-mode queries of the serial flash.
#include "access/serial_flash.h"

#include "access/access_calls.h"
#include "access/chip_table.h"
#include "access/flash_interface.h"
#include "platform/ports.h"

namespace velkor::access {

namespace {

// A single byte transfer completes in microseconds; 1,000 polls 1 ms apart give a stalled
// interface about a second.
constexpr int kTransferPolls = 1000;
// The idle wait ends on a deadline on the clock, sized for the slowest healthy part's chip
// erase (about 30 s), not on a count of polls: how long a poll takes depends on the host. The
// pass bound stands in where no clock is wired.
constexpr std::uint64_t kIdleDeadlineMs = 40000;
constexpr int kIdlePassesWithoutClock = 40000;
constexpr std::uint32_t kPollIntervalMs = 1;
// A status byte of all ones is the bus's idle level: no flash drove the line. It is no answer,
// not "busy"; the usual cause is a flash still selected from an earlier session, which a
// release of the chip select ends.
constexpr std::uint8_t kNoAnswer = 0xFF;
// One lost request is a glitch and polling goes on; this many in a row means the camera no
// longer answers, and waiting out the whole bound (hours for the idle wait, whose passes each
// hold two transfer waits) would only delay the failure.
constexpr int kFailedReadsInARow = 8;
constexpr int kUnreadableFlashKind = 255;

void SleepMs(std::uint32_t milliseconds) {
  if (Clock* clock = CurrentPorts().clock) {
    clock->SleepMs(milliseconds);
  }
}

// The wall-clock end of a wait; without a clock, a count of passes stands in.
class Deadline {
 public:
  explicit Deadline(std::uint64_t milliseconds) : clock_(CurrentPorts().clock) {
    if (clock_ != nullptr) {
      end_ = clock_->NowMs() + milliseconds;
    }
  }
  bool Passed() {
    if (clock_ == nullptr) {
      return ++passes_ >= kIdlePassesWithoutClock;
    }
    return clock_->NowMs() >= end_;
  }

 private:
  Clock* clock_;
  std::uint64_t end_ = 0;
  int passes_ = 0;
};

// Read-status command and one received byte on the selected flash; the chip select stays low.
// True only when every request went through and both transfers were seen done, so that a lost
// receive cannot pass off the 0 written to the data-in register as the flash's answer.
bool ReadStatusSelected(DeviceIndex device, std::uint8_t* status) {
  return WriteRegister(device, kRegChipSelect, 0) &&
         WriteRegister(device, kRegDataOut, kCmdReadStatus) &&
         WriteRegister(device, kRegTransfer, kTransferSend) && WaitFlashReady(device) &&
         WriteRegister(device, kRegDataIn, 0) &&
         WriteRegister(device, kRegTransfer, kTransferReceive) && WaitFlashReady(device) &&
         ReadRegister(device, kRegDataIn, status);
}

}  // namespace

bool WaitFlashReady(DeviceIndex device) {
  int failedInARow = 0;
  for (int poll = 0; poll < kTransferPolls; ++poll) {
    std::uint8_t done = 0;
    if (ReadRegister(device, kRegTransferDone, &done)) {
      if (done == 1) {
        return true;
      }
      failedInARow = 0;
    } else if (++failedInARow == kFailedReadsInARow) {
      return false;
    }
    SleepMs(kPollIntervalMs);
  }
  return false;
}

bool WaitFlashIdle(DeviceIndex device, std::uint8_t* lastStatus, bool* timedOut) {
  std::uint8_t status = 0;
  bool idle = false;
  bool outOfTime = false;
  int failedInARow = 0;
  Deadline deadline(kIdleDeadlineMs);
  for (;;) {
    std::uint8_t read = 0;
    const bool wentThrough = ReadStatusSelected(device, &read);
    if (wentThrough && read != kNoAnswer) {
      status = read;
      failedInARow = 0;
      if ((status & kStatusWriteInProgress) == 0) {
        idle = true;
        break;
      }
    } else if (++failedInARow == kFailedReadsInARow) {
      break;
    } else if (wentThrough) {
      // The next read starts a new session, so that a flash still selected from an earlier
      // command that was never ended takes it as a command of its own.
      WriteRegister(device, kRegChipSelect, 1);
    }
    if (deadline.Passed()) {
      outOfTime = true;
      break;
    }
    // Busy, or this read did not go through: poll again. While the flash answers, the chip
    // select stays low and the next read-status command goes on within the same session.
    SleepMs(kPollIntervalMs);
  }
  // Released on every way out: a flash left selected would take the next command as one more
  // byte of this read and ignore it.
  const bool released = WriteRegisterConfirmed(device, kRegChipSelect, 1);
  if (lastStatus != nullptr) {
    *lastStatus = status;
  }
  if (timedOut != nullptr) {
    *timedOut = outOfTime;
  }
  return idle && released;
}

bool ReadFlashStatusOnce(DeviceIndex device, std::uint8_t* status) {
  const bool read = ReadStatusSelected(device, status);
  return WriteRegisterConfirmed(device, kRegChipSelect, 1) && read;
}

bool SendFlashCommand(DeviceIndex device, std::uint8_t command) {
  // Stops at a request that did not go through: sending on would clock out whatever the
  // data-out register still holds, or write it while a byte may still be shifting.
  const bool sent = WriteRegister(device, kRegChipSelect, 0) &&
                    WriteRegister(device, kRegDataOut, command) &&
                    WriteRegister(device, kRegTransfer, kTransferSend) && WaitFlashReady(device);
  return WriteRegisterConfirmed(device, kRegChipSelect, 1) && sent;
}

int ReadFlashKindTwice(DeviceIndex device) {
  const int kind = ReadFlashKind(device);
  return kind == kUnreadableFlashKind ? ReadFlashKind(device) : kind;
}

bool WriteRegisterConfirmed(DeviceIndex device, std::uint16_t reg, std::uint8_t value) {
  for (int attempt = 0; attempt < kRequestAttempts; ++attempt) {
    if (WriteRegister(device, reg, value)) {
      return true;
    }
  }
  return false;
}

bool ReadFlashMode(DeviceIndex device, std::uint8_t* mode) {
  if (mode == nullptr || !IsOpen(device) || context.table.ReadFlashMode == nullptr ||
      RowOf(device).flashModeQuery == 0) {
    return false;
  }
  return context.table.ReadFlashMode(device, mode);
}

bool ReadFlashWord(DeviceIndex device, std::uint16_t* word) {
  if (word == nullptr || !IsOpen(device) || context.table.ReadFlashWord == nullptr ||
      RowOf(device).flashModeQuery == 0) {
    return false;
  }
  return context.table.ReadFlashWord(device, word);
}

}  // namespace velkor::access
