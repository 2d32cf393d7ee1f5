// Writing the serial flash's status register and confirming it by reading it back.
#include "access/access_calls.h"
#include "access/flash_interface.h"
#include "access/serial_flash.h"

namespace velkor::access {

namespace {

// The bits a status write is about: SRWD and BP0..BP2.
constexpr std::uint8_t kProtectionBits = 0x9C;
constexpr int kStatusWriteAttempts = 3;

enum class Attempt { kConfirmed, kUnconfirmed, kFlashNeverIdle };

// The write-status command and its value in one chip-select session.
bool SendStatusValue(DeviceIndex device, std::uint8_t value) {
  const bool sent = WriteRegister(device, kRegChipSelect, 0) &&
                    WriteRegister(device, kRegDataOut, kCmdWriteStatus) &&
                    WriteRegister(device, kRegTransfer, kTransferSend) && WaitFlashReady(device) &&
                    WriteRegister(device, kRegDataOut, value) &&
                    WriteRegister(device, kRegTransfer, kTransferSend) && WaitFlashReady(device);
  return WriteRegisterConfirmed(device, kRegChipSelect, 1) && sent;
}

// Interface on; the flash seen idle (a write enable sent to a busy flash is ignored); write
// enable; wait; the kind-3 enable; write status; wait for the write to end and read the status
// back; interface off. Stops at the first step that does not go through.
Attempt WriteStatusOnce(DeviceIndex device, int kind, std::uint8_t value) {
  if (!WriteRegister(device, kRegFlashEnable, 1)) {
    WriteRegisterConfirmed(device, kRegFlashEnable, 0);
    return Attempt::kUnconfirmed;
  }
  bool timedOut = false;
  if (!WaitFlashIdle(device, nullptr, &timedOut)) {
    WriteRegisterConfirmed(device, kRegFlashEnable, 0);
    // A flash busy up to the deadline will not take a second write either; one that did not
    // answer for a few reads may well.
    return timedOut ? Attempt::kFlashNeverIdle : Attempt::kUnconfirmed;
  }
  std::uint8_t status = 0;
  const bool written =
      SendFlashCommand(device, kCmdWriteEnable) && WaitFlashIdle(device) &&
      (kind != kFlashKindEwsr || SendFlashCommand(device, kCmdEnableWriteStatus)) &&
      SendStatusValue(device, value) && WaitFlashIdle(device, &status);
  const bool off = WriteRegisterConfirmed(device, kRegFlashEnable, 0);
  const bool confirmed = written && off && (status & kProtectionBits) == (value & kProtectionBits);
  return confirmed ? Attempt::kConfirmed : Attempt::kUnconfirmed;
}

}  // namespace

bool WriteFlashStatus(DeviceIndex device, int kind, std::uint8_t value) {
  for (int attempt = 0; attempt < kStatusWriteAttempts; ++attempt) {
    if (attempt > 0) {
      kind = ReadFlashKindTwice(device);  // a misread kind would leave out or add the enable
    }
    switch (WriteStatusOnce(device, kind, value)) {
      case Attempt::kConfirmed:
        return true;
      case Attempt::kFlashNeverIdle:
        return false;  // a flash busy for the whole bound will not take a second write either
      case Attempt::kUnconfirmed:
        break;
    }
  }
  return false;
}

}  // namespace velkor::access
