// Release and restore of the serial flash's write protection: the board's write-protect pin,
// the controller's flash-access setup registers and the flash's status register.
#include "access/access_calls.h"
#include "access/chip_table.h"
#include "access/flash_interface.h"
#include "access/serial_flash.h"

namespace velkor::access {

namespace {

constexpr std::uint16_t kRegPinLevel = 0x1006;
constexpr std::uint16_t kRegPinEnable = 0x1007;
constexpr std::uint16_t kRegSetup5F3 = 0x5F3;
constexpr std::uint16_t kRegSetup5F5 = 0x5F5;
constexpr std::uint16_t kRegsSetup5F8[] = {0x5F8, 0x5F9, 0x5FA, 0x5FB};

// Status 0x00 clears SRWD and the block-protect bits; 0x8C sets SRWD, BP1 and BP0 again.
constexpr std::uint8_t kStatusUnprotected = 0x00;
constexpr std::uint8_t kStatusProtected = 0x8C;
// Flash kind 3 needs the enable-write-status command and a different 0x5F5 setting.
constexpr int kFlashKindEwsr = 3;
// In flash mode 2 the controller handles the status register itself.
constexpr std::uint8_t kFlashModeSelfManaged = 2;
constexpr int kJ4nrRow = 8;
constexpr int kV6crRow = 13;  // this chip always gets its protection back
// The configuration block holds the byte D at offset 0x03 and F at offset 0x34; protection is
// restored when D is at least 0x35 and F has bit 7 set.
constexpr std::uint8_t kMinProtectingD = 0x35;
constexpr std::uint8_t kProtectFlagF = 0x80;

struct Preamble {
  int kind;
  std::uint8_t mode;
  std::uint16_t blockOffset;
};

// Reads what both modes need: the flash kind, and for chips that answer the flash-mode query
// the mode and the page of the configuration block. False when the mode cannot be read.
bool ReadPreamble(DeviceIndex device, const ChipRow& row, Preamble* out) {
  out->kind = ReadFlashKind(device);
  out->mode = 0;
  out->blockOffset = 0;
  if (row.flashModeQuery == 0) {
    return true;
  }
  std::uint16_t word = 0;
  ReadFlashWord(device, &word);
  std::uint8_t page = 0;
  ReadRegister(device, static_cast<std::uint16_t>(word + 8), &page);
  out->blockOffset = static_cast<std::uint16_t>(page << 8);
  return ReadFlashMode(device, &out->mode);
}

void WriteFlashStatus(DeviceIndex device, int kind, std::uint8_t value) {
  WriteRegister(device, kRegFlashEnable, 1);
  SendFlashCommand(device, kCmdWriteEnable);
  WaitFlashIdle(device);
  if (kind == kFlashKindEwsr) {
    SendFlashCommand(device, kCmdEnableWriteStatus);
  }
  WriteRegister(device, kRegChipSelect, 0);
  WriteRegister(device, kRegDataOut, kCmdWriteStatus);
  WriteRegister(device, kRegTransfer, kTransferSend);
  WaitFlashReady(device);
  WriteRegister(device, kRegDataOut, value);
  WriteRegister(device, kRegTransfer, kTransferSend);
  WaitFlashReady(device);
  WriteRegister(device, kRegChipSelect, 1);
  WaitFlashIdle(device);
  WriteRegister(device, kRegFlashEnable, 0);
}

std::uint8_t ReadFlashByte(DeviceIndex device, std::uint16_t address) {
  std::uint8_t value = 0;
  if (!TransferMemory(device, kOpReadFlash, address, &value, 1)) {
    value = 0;  // an unreadable byte counts as 0
  }
  return value;
}

// Flash addresses of the configuration block's bytes D (offset 0x03) and F (offset 0x34).
struct ConfigBlockAddresses {
  std::uint16_t d;
  std::uint16_t f;
};

ConfigBlockAddresses ConfigBlockFor(DeviceIndex device, const ChipRow& row,
                                    std::uint16_t blockOffset) {
  if (row.altConfigBase == 0) {
    return {static_cast<std::uint16_t>(0x8003 + blockOffset),
            static_cast<std::uint16_t>(0x8034 + blockOffset)};
  }
  if (row.flashModeQuery != 0) {
    return {static_cast<std::uint16_t>(blockOffset + 0x03),
            static_cast<std::uint16_t>(blockOffset + 0x34)};
  }
  if (context.chipRow[device] == kJ4nrRow) {
    return {0x5803, 0x5834};
  }
  return {0xC003, 0xC034};
}

void RestorePin(DeviceIndex device, std::uint16_t restoreRegister, std::uint8_t levelByte) {
  if (restoreRegister != kNoRestoreRegister) {
    WriteRegister(device, restoreRegister, static_cast<std::uint8_t>(levelByte ^ 0xFF));
  }
}

bool ReleaseProtection(DeviceIndex device, const ChipRow& row, const Preamble& pre,
                       std::uint16_t* restoreRegister, std::uint8_t* configByte) {
  if (row.flashAccessSetup != 0) {
    ReadRegister(device, kRegSetup5F3, &context.savedReg5F3[device]);
    WriteRegister(device, kRegSetup5F3, 0x06);
    WriteRegister(device, kRegsSetup5F8[0], 0x12);
    WriteRegister(device, kRegsSetup5F8[1], 0x12);
    WriteRegister(device, kRegsSetup5F8[2], 0xED);
    WriteRegister(device, kRegsSetup5F8[3], 0xED);
    ReadRegister(device, kRegSetup5F5, &context.savedReg5F5[device]);
    WriteRegister(device, kRegSetup5F5, pre.kind == kFlashKindEwsr ? 0xAF : 0x02);
  }

  // Configuration byte: bits 4..6 the write-protect pin, bits 0..3 its polarity while writing
  // (0 no pin, 1 low, 2..15 high). What is left in configByte is the level byte written to the
  // pin register, whose complement restores the pin afterwards.
  *restoreRegister = kNoRestoreRegister;
  const std::uint8_t pin = (*configByte >> 4) & 0x07;
  const std::uint8_t polarity = *configByte & 0x0F;
  *configByte = polarity;
  if (polarity != 0) {
    const std::uint8_t mask = static_cast<std::uint8_t>(1u << pin);
    *configByte = mask;
    WriteRegister(device, kRegPinEnable, mask);
    if (polarity == 1) {
      *configByte = static_cast<std::uint8_t>(mask ^ 0xFF);
    }
    WriteRegister(device, kRegPinLevel, *configByte);
    *restoreRegister = kRegPinLevel;
  }

  if (row.flashModeQuery != 0 && pre.mode == kFlashModeSelfManaged) {
    return true;
  }
  WriteFlashStatus(device, pre.kind, kStatusUnprotected);
  return true;
}

bool RestoreProtection(DeviceIndex device, const ChipRow& row, const Preamble& pre,
                       const std::uint16_t* restoreRegister, const std::uint8_t* configByte) {
  if (row.flashAccessSetup != 0) {
    WriteRegister(device, kRegSetup5F3, context.savedReg5F3[device]);
    WriteRegister(device, kRegSetup5F5, context.savedReg5F5[device]);
    for (std::uint16_t reg : kRegsSetup5F8) {
      WriteRegister(device, reg, 0x34);
    }
  }
  if (row.flashModeQuery == 0 || pre.mode != kFlashModeSelfManaged) {
    // The block is read from the flash as it is now, so the image just written decides.
    const ConfigBlockAddresses at = ConfigBlockFor(device, row, pre.blockOffset);
    const std::uint8_t d = ReadFlashByte(device, at.d);
    const std::uint8_t f = ReadFlashByte(device, at.f);
    if ((d >= kMinProtectingD && (f & kProtectFlagF) != 0) || context.chipRow[device] == kV6crRow) {
      WriteFlashStatus(device, pre.kind, kStatusProtected);
    }
  }
  RestorePin(device, *restoreRegister, *configByte);
  return true;
}

}  // namespace

bool SetFlashWriteProtect(DeviceIndex device, std::uint8_t mode, std::uint16_t* restoreRegister,
                          std::uint8_t* configByte) {
  if (restoreRegister == nullptr || configByte == nullptr || !IsOpen(device)) {
    return false;
  }
  const ChipRow& row = ChipTable[context.chipRow[device]];
  Preamble pre{};
  if (!ReadPreamble(device, row, &pre)) {
    return false;
  }
  if (mode == 0) {
    return ReleaseProtection(device, row, pre, restoreRegister, configByte);
  }
  return RestoreProtection(device, row, pre, restoreRegister, configByte);
}

bool SetFlashWriteProtect(std::uint8_t mode, std::uint16_t* restoreRegister,
                          std::uint8_t* configByte) {
  return SetFlashWriteProtect(0, mode, restoreRegister, configByte);
}

}  // namespace velkor::access
