// Opening the camera (bind, access table, identification, transfer unit) and closing it.
#include "access/device.h"

#include "access/access_calls.h"
#include "access/chip_table.h"
#include "transport/capture_devices.h"
#include "transport/extension_unit.h"
#include "transport/memory_transfer.h"

namespace velkor::access {

namespace {

constexpr DeviceIndex kDevice = 0;
constexpr int kOpened = 2;
constexpr int kFailed = 0;
constexpr std::int32_t kDefaultTransferUnit = 8;
// On the chips whose row says so, flash kind 3 takes one byte per request only.
constexpr std::uint8_t kSingleByteFlashKind = 3;

void FillAccessTable(AccessTable& table) {
  table.WriteRegister = transport::WriteRegister;
  table.ReadRegister = transport::ReadRegister;
  table.EraseFlash = transport::EraseFlash;
  table.ReadFlashMode = transport::ReadFlashMode;
  table.ReadFlashWord = transport::ReadFlashWord;
  table.EraseFlashAt = transport::EraseFlashAt;
  table.TransferMemory = transport::TransferMemory;
  table.CloseDevice = transport::CloseDevice;
  table.WriteBus = transport::WriteBus;
  table.ReadBus = transport::ReadBus;
  table.GetContextInfo = GetContextInfo;
}

}  // namespace

bool MatchBoundChip() {
  std::uint8_t chipId[8] = {};  // only whether it matched counts here
  return MatchChipTable(kDevice, transport::TransferMemory, chipId);
}

bool ListCaptureDevices(char16_t* paths, int count, int length, int* counter) {
  return transport::ListCaptureDevices(paths, count, length, counter, MatchBoundChip);
}

int OpenDevice(const char16_t* path, int length) {
  if (!transport::BindCaptureDevice(kDevice, path, length, MatchBoundChip)) {
    // The device stays closed, so no later CloseDevice reaches the transport; yet the bind
    // began a capture session on this thread and may hold a filter it found but could not
    // identify. Release both here, on the thread that made them.
    transport::CloseDevice(kDevice);
    return kFailed;
  }
  FillAccessTable(context.table);
  context.transferUnit = kDefaultTransferUnit;
  context.deviceOpen[kDevice] = 1;

  // An unidentified chip keeps the row it had before (0 on a fresh context) and is then
  // treated as that row; the bind only succeeds for identifiable chips anyway.
  IdentifyChip(kDevice, context.chipIdCopy);
  const ChipRow& row = RowOf(kDevice);
  if (row.transferUnitByKind == 0) {
    return kOpened;
  }
  std::uint8_t kind = 0;
  if (!context.table.ReadRegister(kDevice, row.flashKindRegister, &kind)) {
    return kFailed;  // left open: the caller closes it
  }
  if (kind == kSingleByteFlashKind) {
    context.transferUnit = 1;
  }
  return kOpened;
}

bool CloseDevice(DeviceIndex device) {
  if (!IsOpen(device)) {
    return false;
  }
  context.deviceOpen[device] = 0;
  return context.table.CloseDevice != nullptr && context.table.CloseDevice(device);
}

bool CloseDevice() {
  return CloseDevice(kDevice);
}

}  // namespace velkor::access
