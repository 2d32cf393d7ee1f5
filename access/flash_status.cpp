// Read-status command of the serial flash, framed on the controller's flash interface.
#include "access/flash_status.h"

#include "access/access_calls.h"
#include "access/chip_table.h"
#include "access/flash_interface.h"
#include "access/serial_flash.h"

namespace velkor::access {

namespace {

// The flash-access setup registers and the values host-driven commands need in them, as the
// protection release sets them.
constexpr std::uint16_t kSetupRegisters[] = {0x5F3, 0x5F5, 0x5F8, 0x5F9, 0x5FA, 0x5FB};
constexpr int kSetupCount = 6;
constexpr int kFlashKindEwsr = 3;

bool SaveSetup(DeviceIndex device, std::uint8_t* saved) {
  for (int i = 0; i < kSetupCount; ++i) {
    if (!ReadRegister(device, kSetupRegisters[i], &saved[i])) {
      return false;
    }
  }
  return true;
}

bool ApplyAccessSetup(DeviceIndex device) {
  const std::uint8_t reg5F5 = ReadFlashKind(device) == kFlashKindEwsr ? 0xAF : 0x02;
  const std::uint8_t access[kSetupCount] = {0x06, reg5F5, 0x12, 0x12, 0xED, 0xED};
  bool ok = true;
  for (int i = 0; i < kSetupCount; ++i) {
    ok = WriteRegister(device, kSetupRegisters[i], access[i]) && ok;
  }
  return ok;
}

bool PutBackSetup(DeviceIndex device, const std::uint8_t* saved) {
  bool ok = true;
  for (int i = 0; i < kSetupCount; ++i) {
    ok = WriteRegister(device, kSetupRegisters[i], saved[i]) && ok;
  }
  return ok;
}

}  // namespace

bool ReadFlashStatus(DeviceIndex device, std::uint8_t* status) {
  if (status == nullptr || !IsOpen(device)) {
    return false;
  }
  const bool needsSetup = ChipTable[context.chipRow[device]].flashAccessSetup != 0;
  std::uint8_t saved[kSetupCount] = {};
  // Without the saved values nothing could be put back: give up before changing anything.
  if (needsSetup && !SaveSetup(device, saved)) {
    return false;
  }
  // A flash byte sent without the access values would not reach the flash (its answer would be
  // the bus's idle level): without them no command is sent at all.
  if (needsSetup && !ApplyAccessSetup(device)) {
    PutBackSetup(device, saved);
    return false;
  }
  bool ok = WriteRegister(device, kRegFlashEnable, 1);
  ok = WriteRegister(device, kRegChipSelect, 0) && ok;
  ok = WriteRegister(device, kRegDataOut, kCmdReadStatus) && ok;
  ok = WriteRegister(device, kRegTransfer, kTransferSend) && ok;
  WaitFlashReady(device);
  ok = WriteRegister(device, kRegDataIn, 0) && ok;
  ok = WriteRegister(device, kRegTransfer, kTransferReceive) && ok;
  WaitFlashReady(device);
  ok = ReadRegister(device, kRegDataIn, status) && ok;
  // Every step below runs even after a failure, so the interface is always released.
  ok = WriteRegister(device, kRegChipSelect, 1) && ok;
  ok = WriteRegister(device, kRegFlashEnable, 0) && ok;
  if (needsSetup) {
    ok = PutBackSetup(device, saved) && ok;
  }
  return ok;
}

}  // namespace velkor::access
