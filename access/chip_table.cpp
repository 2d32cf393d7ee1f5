// The table of known controller variants, chip identification and the flash-kind read.
#include "access/chip_table.h"

#include "access/access_calls.h"

namespace velkor::access {

// The order of the rows decides which row a record matches first; the simulator's copy of the
// table and the rigs that name a chip by its row number follow the same order.
const ChipRow ChipTable[kChipRowCount] = {
    // Columns in ChipRow order: idAddress, idText, version, flashKindRegister, versionAtLeast,
    // directErase, flashAccessSetup, altConfigBase, flashModeQuery, altConfigBlock,
    // alwaysProtect, transferUnitByKind, clearAfterWrite, probeRegister, probeBits.
    {0x9FF8, {'K', '7', 'D', 'R', '0'}, 1, 0x03C5, 1, 0, 0, 0, 0, 0x0000, 0, 1, 0, 0x0000, 0x00},
    {0x9FF8, {'P', '3', 'W', 'R', '0'}, 3, 0x031D, 1, 0, 0, 0, 0, 0x0000, 0, 0, 0, 0x0000, 0x00},
    {0x9FF8, {'T', '9', 'F', 'R', '0'}, 1, 0x0530, 0, 0, 0, 0, 0, 0x0000, 0, 0, 1, 0x0000, 0x00},
    {0x9FF8, {'T', '9', 'F', 'R', '0'}, 2, 0x05F0, 1, 0, 0, 0, 0, 0x0000, 0, 0, 1, 0x0000, 0x00},
    {0xD2B2, {'H', '2', 'M', 'R', '0'}, 1, 0x0530, 0, 0, 0, 0, 0, 0x0000, 0, 0, 1, 0x0000, 0x00},
    {0xDFF8, {'H', '2', 'M', 'R', '0'}, 2, 0x05E0, 0, 1, 0, 0, 0, 0x0000, 0, 0, 1, 0x0000, 0x00},
    {0xDFF8, {'H', '2', 'M', 'R', '0'}, 3, 0x05F0, 1, 1, 0, 0, 0, 0x0000, 0, 0, 1, 0x0000, 0x00},
    {0xDFF8, {'V', '6', 'C', 'R', '0'}, 1, 0x05F0, 0, 1, 0, 0, 0, 0x0000, 0, 0, 1, 0x0000, 0x00},
    {0xDFF8, {'J', '4', 'N', 'R', '0'}, 1, 0x05F0, 1, 1, 1, 1, 0, 0x5800, 0, 0, 1, 0x0000, 0x00},
    {0xBFF8, {'X', '8', 'B', 'R', '0'}, 1, 0x05F0, 1, 0, 0, 0, 0, 0x0000, 0, 0, 1, 0x0000, 0x00},
    {0xBFF8, {'Q', '5', 'L', 'R', '0'}, 1, 0x0690, 0, 0, 0, 0, 0, 0x0000, 0, 0, 1, 0x0000, 0x00},
    {0xBFF8, {'Q', '5', 'L', 'R', '0'}, 2, 0x05F0, 1, 1, 0, 0, 0, 0x0000, 0, 0, 1, 0x0000, 0x00},
    {0xBFF8, {'Z', '1', 'U', 'R', '0'}, 1, 0x05F0, 1, 1, 1, 0, 0, 0x0000, 0, 0, 1, 0x0000, 0x00},
    {0xBFF8, {'V', '6', 'C', 'R', '0'}, 2, 0x05F0, 1, 1, 1, 0, 0, 0x0000, 1, 0, 1, 0x0000, 0x00},
    {0xBFF8, {'G', '3', 'Y', 'R', '0'}, 1, 0x05F0, 1, 1, 1, 0, 0, 0x0000, 0, 0, 1, 0x0000, 0x00},
    {0xBFF8, {'W', '7', 'H', 'R', '0'}, 1, 0x05F0, 1, 1, 1, 1, 0, 0xC000, 0, 0, 1, 0x1185, 0x70},
    {0xBFF8, {'C', '4', 'S', 'R', '0'}, 1, 0x05F0, 1, 1, 1, 1, 0, 0xC000, 0, 0, 1, 0x0000, 0x00},
    {0xC7F8, {'N', '8', 'E', 'R', '0'}, 1, 0x05F0, 0, 1, 1, 1, 0, 0xC000, 0, 0, 1, 0x0000, 0x00},
    {0xC7F8, {'N', '8', 'E', 'R', '0'}, 2, 0x05F0, 1, 1, 1, 1, 1, 0x0000, 0, 0, 1, 0x0000, 0x00},
};

// Identification records are looked for at these controller-memory addresses, in this order.
const std::uint16_t IdAddressList[kIdAddressCount] = {0x9FF8, 0xD2B2, 0xDFF8, 0xBFF8, 0xC7F8};

namespace {

constexpr int kIdRecordSize = 8;
constexpr int kIdVersionByte = 5;
constexpr int kIdBuildByte = 4;

// ASCII-only case folding: the record is raw bytes, so no locale may take part.
constexpr std::uint8_t FoldCase(std::uint8_t c) {
  return (c >= 'a' && c <= 'z') ? static_cast<std::uint8_t>(c - 'a' + 'A') : c;
}

bool CodeMatches(const std::uint8_t* record, const ChipRow& row) {
  for (int i = 0; i < 4; ++i) {
    if (FoldCase(record[i]) != FoldCase(static_cast<std::uint8_t>(row.idText[i]))) {
      return false;
    }
  }
  return true;
}

bool VersionMatches(std::uint8_t version, const ChipRow& row) {
  return row.versionAtLeast != 0 ? version >= row.version : version == row.version;
}

// Index of the first row that describes the record read at this address, or -1.
int FindRow(std::uint16_t address, const std::uint8_t* record) {
  for (int r = 0; r < kChipRowCount; ++r) {
    const ChipRow& row = ChipTable[r];
    if (row.idAddress == address && CodeMatches(record, row) &&
        VersionMatches(record[kIdVersionByte], row)) {
      return r;
    }
  }
  return -1;
}

}  // namespace

bool MatchChipTable(DeviceIndex device, TransferMemoryFn read, std::uint8_t* chipId) {
  // The bind probes before the device is open, so this call is not gated on the open flag; it
  // still writes chipRow[device], hence the index check.
  if (read == nullptr || chipId == nullptr || !IsValidDevice(device)) {
    return false;
  }
  for (std::uint16_t address : IdAddressList) {
    std::uint8_t record[kIdRecordSize] = {};
    if (!read(device, kOpReadMemory, address, record, kIdRecordSize, kIdRecordSize)) {
      return false;  // a camera that cannot be read is not searched further
    }
    const int row = FindRow(address, record);
    if (row >= 0) {
      for (int i = 0; i < kIdRecordSize; ++i) {
        chipId[i] = record[i];
      }
      context.chipRow[device] = row;
      return true;
    }
  }
  return false;
}

bool IdentifyChip(DeviceIndex device, std::uint8_t* chipId) {
  if (chipId == nullptr || !IsOpen(device)) {
    return false;
  }
  if (!MatchChipTable(device, context.table.TransferMemory, chipId)) {
    return false;
  }
  const ChipRow& row = RowOf(device);
  if (row.probeRegister == 0) {
    return true;
  }
  // Set the probe bits and see whether they stay; the register is deliberately left as set.
  std::uint8_t before = 0;
  ReadRegister(device, row.probeRegister, &before);
  WriteRegister(device, row.probeRegister, static_cast<std::uint8_t>(before | row.probeBits));
  std::uint8_t after = 0;
  ReadRegister(device, row.probeRegister, &after);
  if ((after & row.probeBits) == row.probeBits) {
    chipId[kIdBuildByte] = '1';
  }
  return true;
}

bool IdentifyChip(std::uint8_t* chipId) {
  return IdentifyChip(0, chipId);
}

const ChipRow& RowOf(DeviceIndex device) {
  return ChipTable[context.chipRow[device]];
}

int ReadFlashKind(DeviceIndex device) {
  if (!IsOpen(device)) {
    return -1;
  }
  std::uint8_t kind = 0;
  if (!ReadRegister(device, RowOf(device).flashKindRegister, &kind)) {
    kind = 0xFF;  // unreadable: treated like any kind without a rule of its own
  }
  return kind;
}

}  // namespace velkor::access
