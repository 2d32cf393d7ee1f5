// The known controller variants and the identification of the connected one.
#pragma once

#include <cstdint>

#include "access/access_context.h"

namespace velkor::access {

struct ChipRow {
  std::uint16_t idAddress;
  char idText[5];  // not terminated; only the first four characters are compared
  std::uint8_t version;
  std::uint16_t auxCode;
  std::uint16_t flashKindRegister;
  std::uint16_t auxWordA;
  std::uint16_t auxWordB;
  std::uint32_t auxLong;
  std::uint8_t versionAtLeast;
  std::uint8_t directErase;
  std::uint8_t flashAccessSetup;
  std::uint8_t altConfigBase;
  std::uint8_t flashModeQuery;
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
// The flash kind 0..255 (255: register unreadable), -1 when the device is not open.
int ReadFlashKind(DeviceIndex device);

}  // namespace velkor::access
