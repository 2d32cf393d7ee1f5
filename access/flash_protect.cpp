// Release and restore of the serial flash's write protection: the board's write-protect pin,
// the controller's flash-access setup registers and the flash's status register.
#include <span>

#include "access/access_calls.h"
#include "access/agreed_read.h"
#include "access/chip_table.h"
#include "access/flash_interface.h"
#include "access/serial_flash.h"

namespace velkor::access {

namespace {

constexpr std::uint16_t kRegPinLevel = 0x1006;
constexpr std::uint16_t kRegPinEnable = 0x1007;

// Status 0x00 clears SRWD and the block-protect bits; 0x8C sets SRWD, BP1 and BP0 again.
constexpr std::uint8_t kStatusUnprotected = 0x00;
constexpr std::uint8_t kStatusProtected = 0x8C;
// In flash mode 2 the controller handles the status register itself.
constexpr std::uint8_t kFlashModeSelfManaged = 2;
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
// the mode and the page of the configuration block, each agreed on by two answers. False when
// the mode cannot be read; an unanswered word or page stays 0.
bool ReadPreamble(DeviceIndex device, const ChipRow& row, Preamble* out) {
  out->kind = ReadFlashKindTwice(device);
  out->mode = 0;
  out->blockOffset = 0;
  if (row.flashModeQuery == 0) {
    return true;
  }
  std::uint16_t word = 0;
  ReadAgreed([device](std::uint16_t* value) { return ReadFlashWord(device, value); }, &word);
  std::uint8_t page = 0;
  const auto pageRegister = static_cast<std::uint16_t>(word + 8);
  ReadAgreed([device, pageRegister](
                 std::uint8_t* value) { return ReadRegister(device, pageRegister, value); },
             &page);
  out->blockOffset = static_cast<std::uint16_t>(page << 8);
  return ReadAgreed([device](std::uint8_t* value) { return ReadFlashMode(device, value); },
                    &out->mode);
}

// One byte of flash, read a second time when the first read fails.
bool ReadFlashByte(DeviceIndex device, std::uint16_t address, std::uint8_t* value) {
  for (int attempt = 0; attempt < kRequestAttempts; ++attempt) {
    std::uint8_t byte = 0;
    if (TransferMemory(device, kOpReadFlash, address, &byte, 1)) {
      *value = byte;
      return true;
    }
  }
  return false;
}

std::uint8_t ImageByte(std::span<const std::uint8_t> image, std::uint16_t address) {
  return address < image.size() ? image[address] : 0;
}

// A configuration-block byte that decides the restore. When it cannot be read, the image's byte
// at the same flash address stands in (the flash was verified equal to the image), or 0 without
// an image. A byte that reads otherwise than the image is read again, and a third time when the
// two reads disagree, so that one corrupted reply cannot decide.
std::uint8_t ConfigBlockByte(DeviceIndex device, std::uint16_t address,
                             std::span<const std::uint8_t> image) {
  const bool inImage = address < image.size();
  const std::uint8_t fromImage = inImage ? image[address] : 0;
  std::uint8_t first = 0;
  if (!ReadFlashByte(device, address, &first)) {
    return fromImage;
  }
  if (!inImage || first == fromImage) {
    return first;
  }
  std::uint8_t second = 0;
  if (!ReadFlashByte(device, address, &second) || second == first) {
    return first;
  }
  std::uint8_t third = 0;
  if (!ReadFlashByte(device, address, &third)) {
    return fromImage;
  }
  return third == first || third == second ? third : fromImage;
}

// Flash addresses of the configuration block's bytes D (offset 0x03) and F (offset 0x34).
struct ConfigBlockAddresses {
  std::uint16_t d;
  std::uint16_t f;
};

constexpr std::uint16_t kConfigBlock = 0x8000;
constexpr std::uint16_t kConfigOffsetD = 0x03;
constexpr std::uint16_t kConfigOffsetF = 0x34;

// The block offset is the page that chips with the flash-mode query report (0 on the others).
ConfigBlockAddresses ConfigBlockFor(const ChipRow& row, std::uint16_t blockOffset) {
  const auto base = static_cast<std::uint16_t>(
      (row.altConfigBase != 0 ? row.altConfigBlock : kConfigBlock) + blockOffset);
  return {static_cast<std::uint16_t>(base + kConfigOffsetD),
          static_cast<std::uint16_t>(base + kConfigOffsetF)};
}

// A pin register written and read back: the level on WP# is what decides whether the status
// register can change, and a write that was lost or garbled on its way shows only in the
// register itself.
bool WritePinRegister(DeviceIndex device, std::uint16_t reg, std::uint8_t value) {
  for (int attempt = 0; attempt < kRequestAttempts; ++attempt) {
    // One read back suffices: a garbled answer shows as a difference and costs a rewrite.
    std::uint8_t readBack = 0;
    if (WriteRegisterConfirmed(device, reg, value) && ReadRegister(device, reg, &readBack) &&
        readBack == value) {
      return true;
    }
  }
  return false;
}

bool RestorePin(DeviceIndex device, std::uint16_t restoreRegister, std::uint8_t levelByte) {
  return restoreRegister == kNoRestoreRegister ||
         WritePinRegister(device, restoreRegister, static_cast<std::uint8_t>(levelByte ^ 0xFF));
}

// The access values of the flash-access setup registers, for host-driven flash commands.
bool ApplyAccessSetup(DeviceIndex device, int kind) {
  bool ok = WriteRegisterConfirmed(device, kRegSetup5F3, kAccess5F3);
  for (int i = 0; i < 4; ++i) {
    ok = WriteRegisterConfirmed(device, kRegsSetup5F8[i], kAccess5F8[i]) && ok;
  }
  return WriteRegisterConfirmed(device, kRegSetup5F5, Access5F5(kind)) && ok;
}

bool ReleaseProtection(DeviceIndex device, const ChipRow& row, const Preamble& pre,
                       std::uint16_t* restoreRegister, std::uint8_t* configByte,
                       const ProtectOptions& options) {
  bool ok = true;
  if (row.flashAccessSetup != 0 && options.reapplyAccessSetup) {
    // A repeated release: the values saved by the first one stay the ones to put back.
    ok = ApplyAccessSetup(device, pre.kind);
  } else if (row.flashAccessSetup != 0) {
    // The saved values go back after the write: one garbled answer must not decide them.
    ok = ReadAgreed([device](std::uint8_t* v) { return ReadRegister(device, kRegSetup5F3, v); },
                    &context.savedReg5F3[device]) &&
         ok;
    ok = WriteRegisterConfirmed(device, kRegSetup5F3, kAccess5F3) && ok;
    for (int i = 0; i < 4; ++i) {
      ok = WriteRegisterConfirmed(device, kRegsSetup5F8[i], kAccess5F8[i]) && ok;
    }
    ok = ReadAgreed([device](std::uint8_t* v) { return ReadRegister(device, kRegSetup5F5, v); },
                    &context.savedReg5F5[device]) &&
         ok;
    ok = WriteRegisterConfirmed(device, kRegSetup5F5, Access5F5(pre.kind)) && ok;
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
    ok = WritePinRegister(device, kRegPinEnable, mask) && ok;
    if (polarity == 1) {
      *configByte = static_cast<std::uint8_t>(mask ^ 0xFF);
    }
    ok = WritePinRegister(device, kRegPinLevel, *configByte) && ok;
    *restoreRegister = kRegPinLevel;
  }

  if (row.flashModeQuery != 0 && pre.mode == kFlashModeSelfManaged) {
    return ok;
  }
  return WriteFlashStatus(device, pre.kind, kStatusUnprotected) && ok;
}

bool RestoreProtection(DeviceIndex device, const ChipRow& row, const Preamble& pre,
                       const std::uint16_t* restoreRegister, const std::uint8_t* configByte,
                       std::span<const std::uint8_t> image, const ProtectOptions& options) {
  // From a known state: a flash left selected by a lost release would take the restore's
  // commands as more bytes of an old one.
  WriteRegisterConfirmed(device, kRegChipSelect, 1);
  bool ok = true;
  if (options.reapplyAccessSetup && row.flashAccessSetup != 0) {
    ok = ApplyAccessSetup(device, pre.kind);
  }
  if (row.flashModeQuery == 0 || pre.mode != kFlashModeSelfManaged) {
    // The block is read from the flash as it is now, so the image just written decides; a
    // flash that may be erased or partly written does not decide at all.
    const ConfigBlockAddresses at = ConfigBlockFor(row, pre.blockOffset);
    const bool fromImage = options.decideFromImage;
    const std::uint8_t d =
        fromImage ? ImageByte(image, at.d) : ConfigBlockByte(device, at.d, image);
    const std::uint8_t f =
        fromImage ? ImageByte(image, at.f) : ConfigBlockByte(device, at.f, image);
    if ((d >= kMinProtectingD && (f & kProtectFlagF) != 0) || row.alwaysProtect != 0) {
      // Written while the flash-access setup still holds (on chips that need it, the host's
      // commands reach the flash only then) and while the pin still releases WP# (with SRWD
      // set, a held WP# freezes the register).
      ok = WriteFlashStatus(device, pre.kind, kStatusProtected) && ok;
    }
  }
  if (row.flashAccessSetup != 0) {
    ok = WriteRegisterConfirmed(device, kRegSetup5F3, context.savedReg5F3[device]) && ok;
    ok = WriteRegisterConfirmed(device, kRegSetup5F5, context.savedReg5F5[device]) && ok;
    for (std::uint16_t reg : kRegsSetup5F8) {
      ok = WriteRegisterConfirmed(device, reg, 0x34) && ok;
    }
  }
  return RestorePin(device, *restoreRegister, *configByte) && ok;
}

}  // namespace

bool SetFlashWriteProtect(DeviceIndex device, std::uint8_t mode, std::uint16_t* restoreRegister,
                          std::uint8_t* configByte, std::span<const std::uint8_t> image,
                          const ProtectOptions& options) {
  if (restoreRegister == nullptr || configByte == nullptr || !IsOpen(device)) {
    return false;
  }
  const ChipRow& row = RowOf(device);
  Preamble pre{};
  if (!ReadPreamble(device, row, &pre)) {
    return false;
  }
  if (mode == 0) {
    return ReleaseProtection(device, row, pre, restoreRegister, configByte, options);
  }
  return RestoreProtection(device, row, pre, restoreRegister, configByte, image, options);
}

bool SetFlashWriteProtect(std::uint8_t mode, std::uint16_t* restoreRegister,
                          std::uint8_t* configByte, std::span<const std::uint8_t> image) {
  return SetFlashWriteProtect(0, mode, restoreRegister, configByte, image);
}

}  // namespace velkor::access
