// Read-status command of the serial flash, framed on the controller's flash interface.
#include "access/flash_status.h"

#include "access/access_calls.h"
#include "access/chip_table.h"
#include "access/flash_interface.h"
#include "access/serial_flash.h"

namespace velkor::access {

namespace {

// The setup registers in the order they are saved, set and put back.
constexpr std::uint16_t kSetupRegisters[] = {kRegSetup5F3,     kRegSetup5F5,     kRegsSetup5F8[0],
                                             kRegsSetup5F8[1], kRegsSetup5F8[2], kRegsSetup5F8[3]};
constexpr int kSetupCount = 6;

bool SaveSetup(DeviceIndex device, std::uint8_t* saved) {
  for (int i = 0; i < kSetupCount; ++i) {
    if (!ReadRegister(device, kSetupRegisters[i], &saved[i])) {
      return false;
    }
  }
  return true;
}

bool ApplyAccessSetup(DeviceIndex device) {
  const std::uint8_t access[kSetupCount] = {kAccess5F3,    Access5F5(ReadFlashKind(device)),
                                            kAccess5F8[0], kAccess5F8[1],
                                            kAccess5F8[2], kAccess5F8[3]};
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
  const bool needsSetup = RowOf(device).flashAccessSetup != 0;
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
  // The read releases the flash on its own; the interface is switched off and the setup put
  // back even after a failure, so the controller is always left as found.
  bool ok = WriteRegister(device, kRegFlashEnable, 1) && ReadFlashStatusOnce(device, status);
  ok = WriteRegisterConfirmed(device, kRegFlashEnable, 0) && ok;
  if (needsSetup) {
    ok = PutBackSetup(device, saved) && ok;
  }
  return ok;
}

}  // namespace velkor::access
