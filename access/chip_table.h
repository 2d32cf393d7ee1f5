// The known controller variants and the identification of the connected one. Every way in
// which the variants differ is a column here; the rest of the library reads the identified
// chip's row and never asks which row it is.
#pragma once

#include <cstdint>

#include "access/access_context.h"

namespace velkor::access {

struct ChipRow {
  std::uint16_t idAddress;
  char idText[5];  // not terminated; only the first four characters are compared
  std::uint8_t version;
  std::uint16_t flashKindRegister;
  std::uint8_t versionAtLeast;  // 1: the chip's version must be at least `version`, 0: equal
  // 1: the host drives the chip erase itself for every flash kind; 0: the flash kinds that are
  // not always erased by the host are left to the controller's own erase.
  std::uint8_t directErase;
  // 1: host-driven flash commands reach the flash only while the setup registers 0x5F3, 0x5F5
  // and 0x5F8..0x5FB hold their access values.
  std::uint8_t flashAccessSetup;
  // 1: the configuration block lies at altConfigBlock instead of 0x8000.
  std::uint8_t altConfigBase;
  // 1: the chip answers the flash-mode and flash-word queries (and in flash mode 2 handles
  // the status register itself).
  std::uint8_t flashModeQuery;
  // Flash address of the configuration block on rows with altConfigBase (0 on the others). On
  // chips that answer the flash-mode query the page the chip reports is added to it.
  std::uint16_t altConfigBlock;
  // 1: after the write, the protection goes back on whatever the configuration block says.
  std::uint8_t alwaysProtect;
  // 1: the open reads the flash-kind register, and flash kind 3 limits memory transfers to
  // one byte per request; a register that cannot be read fails the open.
  std::uint8_t transferUnitByKind;
  // 1: after the image was written, register 0x1073 is cleared (AfterFlashWrite answers 2);
  // 0: nothing is written (it answers 1).
  std::uint8_t clearAfterWrite;
  // A register whose bits tell two builds of the chip apart (0: none): identification sets
  // probeBits in it, and when they stay set marks the record's fifth character '1'.
  std::uint16_t probeRegister;
  std::uint8_t probeBits;
};

constexpr int kChipRowCount = 19;
constexpr int kIdAddressCount = 5;
extern const ChipRow ChipTable[kChipRowCount];
extern const std::uint16_t IdAddressList[kIdAddressCount];

// Reads the 8-byte identification record at each address in turn and matches it against the
// table. On success writes chipId (8 bytes) and the device's chipRow entry.
bool MatchChipTable(DeviceIndex device, TransferMemoryFn read, std::uint8_t* chipId);
bool IdentifyChip(DeviceIndex device, std::uint8_t* chipId);
bool IdentifyChip(std::uint8_t* chipId);
// The identified chip's row: the device's chipRow entry, which is 0 until a first match.
const ChipRow& RowOf(DeviceIndex device);
// The flash kind 0..255 (255: register unreadable), -1 when the device is not open.
int ReadFlashKind(DeviceIndex device);

}  // namespace velkor::access
