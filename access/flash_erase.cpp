// Whole-flash erase: a chip-erase command driven through the flash interface, or the
// controller's own erase for the flash kinds and chips that leave it to the controller.
#include "access/access_calls.h"
#include "access/chip_table.h"
#include "access/flash_interface.h"
#include "access/serial_flash.h"

namespace velkor::access {

namespace {

// These flash kinds only understand the 0xC7 form of chip erase, whatever the chip row says.
bool ErasesWithC7(int kind) {
  return kind == 2 || kind == 7 || kind == 8 || kind == 10 || kind == 11;
}

// Write enable, chip erase, wait until the flash is idle. Every step runs even after a failed
// request, so that the interface is always switched off again; the result is false if any
// request of the sequence failed, since the flash may then not have been erased.
bool RunChipErase(DeviceIndex device, std::uint8_t eraseCommand) {
  bool ok = WriteRegister(device, kRegFlashEnable, 1);
  ok = SendFlashCommand(device, kCmdWriteEnable) && ok;
  ok = SendFlashCommand(device, eraseCommand) && ok;
  WaitFlashIdle(device);
  return WriteRegister(device, kRegFlashEnable, 0) && ok;
}

}  // namespace

bool EraseFlash(DeviceIndex device) {
  if (!IsOpen(device)) {
    return false;
  }
  const int kind = ReadFlashKind(device);
  if (ErasesWithC7(kind)) {
    return RunChipErase(device, kCmdChipEraseC7);
  }
  if (ChipTable[context.chipRow[device]].directErase != 0) {
    return RunChipErase(device, kCmdChipErase60);
  }
  return context.table.EraseFlash != nullptr && context.table.EraseFlash(device);
}

bool EraseFlash() {
  return EraseFlash(0);
}

}  // namespace velkor::access
