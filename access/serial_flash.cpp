// Flash-interface waits, command framing and the flash-mode queries of the serial flash.
#include "access/serial_flash.h"

#include "access/access_calls.h"
#include "access/chip_table.h"
#include "access/flash_interface.h"
#include "platform/ports.h"

namespace velkor::access {

namespace {

// A single byte transfer completes in microseconds; 1,000 polls 1 ms apart give a stalled
// interface about a second before the sequence goes on regardless.
constexpr int kTransferPolls = 1000;
// Status-register writes take up to ~15 ms and a chip erase up to some seconds: 10,000 passes
// of at least 1 ms bound the wait at more than ten seconds.
constexpr int kIdlePasses = 10000;
constexpr std::uint32_t kPollIntervalMs = 1;

void SleepMs(std::uint32_t milliseconds) {
  if (Clock* clock = CurrentPorts().clock) {
    clock->SleepMs(milliseconds);
  }
}

}  // namespace

void WaitFlashReady(DeviceIndex device) {
  std::uint8_t done = 0;
  for (int poll = 0; poll < kTransferPolls; ++poll) {
    // A read that fails means the camera no longer answers (unplugged, stalled): polling on
    // would only spend the whole bound before the next step fails anyway.
    if (!ReadRegister(device, kRegTransferDone, &done) || done == 1) {
      return;
    }
    SleepMs(kPollIntervalMs);
  }
}

void WaitFlashIdle(DeviceIndex device) {
  std::uint8_t status = 0;
  for (int pass = 0; pass < kIdlePasses; ++pass) {
    WriteRegister(device, kRegChipSelect, 0);
    WriteRegister(device, kRegDataOut, kCmdReadStatus);
    WriteRegister(device, kRegTransfer, kTransferSend);
    WaitFlashReady(device);
    WriteRegister(device, kRegDataIn, 0);
    WriteRegister(device, kRegTransfer, kTransferReceive);
    WaitFlashReady(device);
    // A failed status read ends the wait: its status byte would stay whatever the flash said
    // last, and a camera unplugged while busy would keep the host polling for hours. The flash
    // is released as after an idle status, in case the camera still listens.
    if (!ReadRegister(device, kRegDataIn, &status) || (status & kStatusWriteInProgress) == 0) {
      WriteRegister(device, kRegChipSelect, 1);
      return;
    }
    // Still busy: poll again. The chip select stays low, so the next read-status command
    // simply starts over on the selected flash.
    SleepMs(kPollIntervalMs);
  }
}

bool SendFlashCommand(DeviceIndex device, std::uint8_t command) {
  bool sent = WriteRegister(device, kRegChipSelect, 0);
  sent = WriteRegister(device, kRegDataOut, command) && sent;
  sent = WriteRegister(device, kRegTransfer, kTransferSend) && sent;
  WaitFlashReady(device);
  return WriteRegister(device, kRegChipSelect, 1) && sent;
}

bool ReadFlashMode(DeviceIndex device, std::uint8_t* mode) {
  if (mode == nullptr || !IsOpen(device) || context.table.ReadFlashMode == nullptr ||
      ChipTable[context.chipRow[device]].flashModeQuery == 0) {
    return false;
  }
  return context.table.ReadFlashMode(device, mode);
}

bool ReadFlashWord(DeviceIndex device, std::uint16_t* word) {
  if (word == nullptr || !IsOpen(device) || context.table.ReadFlashWord == nullptr ||
      ChipTable[context.chipRow[device]].flashModeQuery == 0) {
    return false;
  }
  return context.table.ReadFlashWord(device, word);
}

}  // namespace velkor::access
