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
// Status-register writes take up to ~15 ms and a chip erase up to some seconds: 10,000 passes
// of at least 1 ms bound the wait at more than ten seconds.
constexpr int kIdlePasses = 10000;
constexpr std::uint32_t kPollIntervalMs = 1;
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

bool WaitFlashIdle(DeviceIndex device, std::uint8_t* lastStatus) {
  std::uint8_t status = 0;
  bool idle = false;
  int failedInARow = 0;
  for (int pass = 0; pass < kIdlePasses; ++pass) {
    std::uint8_t read = 0;
    if (ReadStatusSelected(device, &read)) {
      status = read;
      failedInARow = 0;
      if ((status & kStatusWriteInProgress) == 0) {
        idle = true;
        break;
      }
    } else if (++failedInARow == kFailedReadsInARow) {
      break;
    }
    // Busy, or this read did not go through: poll again. The chip select stays low, so the
    // next read-status command simply goes on within the same session.
    SleepMs(kPollIntervalMs);
  }
  // Released on every way out: a flash left selected would take the next command as one more
  // byte of this read and ignore it.
  const bool released = WriteRegisterConfirmed(device, kRegChipSelect, 1);
  if (lastStatus != nullptr) {
    *lastStatus = status;
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
