// Gated calls of the access library: each forwards to its table slot only while the device is
// open, so a closed (or out-of-range) device never causes transport traffic.
#include "access/access_calls.h"

#include "access/chip_table.h"

namespace velkor::access {
namespace {

// Register that most chips clear after the flash image was written.
constexpr std::uint16_t kPostWriteRegister = 0x1073;

}  // namespace

bool TransferMemory(DeviceIndex device, int operation, std::uint32_t address, std::uint8_t* buffer,
                    std::uint32_t length) {
  if (!IsOpen(device) || context.table.TransferMemory == nullptr) {
    return false;
  }
  // A negative unit converts to a large value, which the transfer caps at 8.
  return context.table.TransferMemory(device, operation, address, buffer, length,
                                      static_cast<std::uint32_t>(context.transferUnit));
}

bool WriteRegister(DeviceIndex device, std::uint16_t reg, std::uint8_t value) {
  if (!IsOpen(device) || context.table.WriteRegister == nullptr) {
    return false;
  }
  return context.table.WriteRegister(device, reg, value);
}

bool ReadRegister(DeviceIndex device, std::uint16_t reg, std::uint8_t* value) {
  if (!IsOpen(device) || context.table.ReadRegister == nullptr) {
    return false;
  }
  return context.table.ReadRegister(device, reg, value);
}

int AfterFlashWrite(DeviceIndex device) {
  if (!IsOpen(device)) {
    return 0;
  }
  if (RowOf(device).clearAfterWrite == 0) {
    return 1;
  }
  WriteRegister(device, kPostWriteRegister, 0);  // result deliberately not consulted
  return 2;
}

std::uint8_t* GetContextInfo() {
  return context.contextInfo;
}

bool TransferMemory(int operation, std::uint32_t address, std::uint8_t* buffer,
                    std::uint32_t length) {
  return TransferMemory(0, operation, address, buffer, length);
}

bool ReadMemory(std::uint32_t address, std::uint8_t* buffer, std::uint32_t length) {
  return TransferMemory(0, kOpReadFlash, address, buffer, length);
}

bool WriteMemory(std::uint32_t address, const std::uint8_t* buffer, std::uint32_t length) {
  // A flash write only reads from the buffer; the shared signature is non-const because the
  // same call also serves reads.
  return TransferMemory(0, kOpWriteFlash, address, const_cast<std::uint8_t*>(buffer), length);
}

bool WriteRegister(std::uint16_t reg, std::uint8_t value) {
  return WriteRegister(0, reg, value);
}

bool ReadRegister(std::uint16_t reg, std::uint8_t* value) {
  return ReadRegister(0, reg, value);
}

int AfterFlashWrite() {
  return AfterFlashWrite(0);
}

}  // namespace velkor::access
