// The controller access library's process-wide state and its table of transport operations.
#pragma once

#include <cstdint>

#include "transport/memory_transfer.h"

namespace velkor::access {

// Selects a device's entries in the per-device arrays; always 0 in this program.
using DeviceIndex = int;
constexpr int kDeviceCount = 24;

// Memory-transfer operation codes.
using transport::kOpReadFlash;
using transport::kOpReadMemory;
using transport::kOpWriteFlash;

using TransferMemoryFn = bool (*)(DeviceIndex device, int operation, std::uint32_t address,
                                  std::uint8_t* buffer, std::uint32_t length, std::uint32_t unit);

// Transport routines installed by OpenDevice, in the order it fills them.
struct AccessTable {
  bool (*WriteRegister)(DeviceIndex device, std::uint16_t reg, std::uint8_t value);
  bool (*ReadRegister)(DeviceIndex device, std::uint16_t reg, std::uint8_t* value);
  bool (*EraseFlash)(DeviceIndex device);
  bool (*ReadFlashMode)(DeviceIndex device, std::uint8_t* mode);
  bool (*ReadFlashWord)(DeviceIndex device, std::uint16_t* word);
  bool (*EraseFlashAt)(DeviceIndex device, std::uint8_t first, std::uint16_t second);
  TransferMemoryFn TransferMemory;
  bool (*CloseDevice)(DeviceIndex device);
  // The bus routines take the size of the caller's buffer, so that no format byte can make
  // them copy past it.
  bool (*WriteBus)(std::uint8_t target, std::uint8_t format, const std::uint8_t* bytes,
                   std::size_t count);
  bool (*ReadBus)(std::uint8_t target, std::uint8_t format, std::uint8_t* buffer,
                  std::size_t capacity);
  std::uint8_t* (*GetContextInfo)();
};

struct AccessContext {
  std::uint8_t deviceOpen[kDeviceCount];
  std::int32_t chipRow[kDeviceCount];
  AccessTable table;
  std::int32_t transferUnit;
  std::uint8_t chipIdCopy[8];
  std::uint8_t savedReg5F3[kDeviceCount];
  std::uint8_t savedReg5F5[kDeviceCount];
  std::uint8_t contextInfo[260];
  // The bound filter and the extension unit's node are the transport's own record
  // (transport::boundDevice).
};

// The one process-wide record, zero at start. Used by one thread at a time.
extern AccessContext context;

constexpr bool IsValidDevice(DeviceIndex device) {
  return device >= 0 && device < kDeviceCount;
}

// True when the index is in range and that device is open.
inline bool IsOpen(DeviceIndex device) {
  return IsValidDevice(device) && context.deviceOpen[device] != 0;
}

}  // namespace velkor::access
