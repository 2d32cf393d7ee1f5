// Whole-flash erase: a chip-erase command driven through the flash interface, or the
// controller's own erase for the flash kinds and chips that leave it to the controller, each
// confirmed before anyone writes over the flash.
#include "access/access_calls.h"
#include "access/chip_table.h"
#include "access/flash_interface.h"
#include "access/serial_flash.h"

namespace velkor::access {

namespace {

constexpr int kWriteEnableAttempts = 3;
constexpr int kEraseEndRounds = 3;
// The blank check reads one 8-byte piece at the start of every 4 KiB: the code at the start of
// the flash, the configuration blocks at 0x8000 and 0xC000, and what lies between.
constexpr std::uint32_t kBlankCheckStride = 0x1000;
constexpr std::uint32_t kBlankCheckPiece = 8;
constexpr std::uint32_t kFlashSize = 0x10000;

// These flash kinds only understand the 0xC7 form of chip erase, whatever the chip row says.
bool ErasesWithC7(int kind) {
  return kind == 2 || kind == 7 || kind == 8 || kind == 10 || kind == 11;
}

// The flash seen idle, then the write enable taken: the status shows the latch set and no
// operation running. Only then will the flash act on an erase command. A write enable that was
// lost, or reached a flash still busy with the status write before it, is sent again. Between
// the write enable and the erase command there is one status read, not a wait.
bool EnableWrite(DeviceIndex device) {
  for (int attempt = 0; attempt < kWriteEnableAttempts; ++attempt) {
    if (!WaitFlashIdle(device)) {
      return false;  // the camera does not answer, or the flash stays busy
    }
    std::uint8_t status = 0;
    if (SendFlashCommand(device, kCmdWriteEnable) && ReadFlashStatusOnce(device, &status) &&
        (status & (kStatusWriteInProgress | kStatusWriteEnableLatch)) == kStatusWriteEnableLatch) {
      return true;
    }
  }
  return false;
}

// The erase has ended: two status reads in a row show the flash idle, and the latch cleared
// where the host sent the erase (an erase that the flash refused leaves it set). A single stale
// or corrupted status byte thus cannot pass for the end of a running erase. Nothing here relies
// on having seen the flash busy: a small flash may be done before the first read.
bool EraseEnded(DeviceIndex device, bool latchClears) {
  const std::uint8_t mustBeClear =
      kStatusWriteInProgress | (latchClears ? kStatusWriteEnableLatch : std::uint8_t{0});
  for (int round = 0; round < kEraseEndRounds; ++round) {
    std::uint8_t status = 0;
    if (!WaitFlashIdle(device, &status)) {
      return false;
    }
    if ((status & mustBeClear) == 0 && ReadFlashStatusOnce(device, &status) &&
        (status & mustBeClear) == 0) {
      return true;
    }
  }
  return false;
}

// Sampled pieces read back erased, as flash programmers verify an erase. A piece that reads
// otherwise, or not at all, is read once more before it counts. Runs with the flash interface
// switched off, since the controller reads the flash itself.
bool SampledPiecesErased(DeviceIndex device) {
  for (std::uint32_t address = 0; address < kFlashSize; address += kBlankCheckStride) {
    bool erased = false;
    for (int attempt = 0; attempt < kRequestAttempts && !erased; ++attempt) {
      std::uint8_t piece[kBlankCheckPiece] = {};
      erased = TransferMemory(device, kOpReadFlash, address, piece, kBlankCheckPiece);
      for (std::uint8_t byte : piece) {
        erased = erased && byte == 0xFF;
      }
    }
    if (!erased) {
      return false;
    }
  }
  return true;
}

// Write enable, chip erase, the end of the erase; stops at the first step that is not
// confirmed, and always switches the interface off again.
bool RunChipErase(DeviceIndex device, std::uint8_t eraseCommand) {
  bool ok = WriteRegister(device, kRegFlashEnable, 1) && EnableWrite(device) &&
            SendFlashCommand(device, eraseCommand) && EraseEnded(device, true);
  ok = WriteRegisterConfirmed(device, kRegFlashEnable, 0) && ok;
  return ok && SampledPiecesErased(device);
}

// A wait for the idle flash through the host's interface, switched on only for the wait: the
// controller cannot reach the flash while it is on.
bool IdleThroughInterface(DeviceIndex device, bool toTheEndOfAnErase) {
  bool ok = WriteRegister(device, kRegFlashEnable, 1) &&
            (toTheEndOfAnErase ? EraseEnded(device, false) : WaitFlashIdle(device));
  return WriteRegisterConfirmed(device, kRegFlashEnable, 0) && ok;
}

// The controller's own erase reports only that it took the request. A flash still busy with
// the status write before it refuses the erase without a word, so the flash is seen idle
// first; afterwards its end is awaited and the blank check shows whether it erased.
bool RunControllerErase(DeviceIndex device) {
  return context.table.EraseFlash != nullptr && IdleThroughInterface(device, false) &&
         context.table.EraseFlash(device) && IdleThroughInterface(device, true) &&
         SampledPiecesErased(device);
}

}  // namespace

bool EraseFlash(DeviceIndex device) {
  if (!IsOpen(device)) {
    return false;
  }
  const int kind = ReadFlashKindTwice(device);
  if (ErasesWithC7(kind)) {
    return RunChipErase(device, kCmdChipEraseC7);
  }
  if (RowOf(device).directErase != 0) {
    return RunChipErase(device, kCmdChipErase60);
  }
  return RunControllerErase(device);
}

bool EraseFlash() {
  return EraseFlash(0);
}

bool FlashErasedAfterAll(DeviceIndex device) {
  return IsOpen(device) && IdleThroughInterface(device, true) && SampledPiecesErased(device);
}

}  // namespace velkor::access
