// The extension-unit request routines: register, bus, flash, memory and status requests, each
// laid out byte for byte as the controller firmware expects them (little-endian numbers).
#include "transport/extension_unit.h"

#include <algorithm>
#include <cstring>

#include "transport/extension_request.h"

namespace velkor::transport {
namespace {

constexpr std::uint32_t kSelectorRegister = 1;
constexpr std::uint32_t kSelectorBus = 2;
constexpr std::uint32_t kSelectorFlash = 3;
constexpr std::uint32_t kSelectorMemory = 4;
constexpr std::uint32_t kSelectorStatus = 5;

// Last byte of selectors 1 and 2: tells a write from a read request.
constexpr std::uint8_t kWriteMarker = 0x00;
constexpr std::uint8_t kReadMarker = 0xFF;

// Count/command byte of selector 3.
constexpr std::uint8_t kFlashReadCommand = 0x80;
constexpr std::uint8_t kFlashEraseCommand = 0xC8;
constexpr std::uint8_t kFlashEraseAtCommand = 0x40;
constexpr std::uint8_t kMaxPieceBytes = 8;

// Selector 2 carries the bus bytes in payload bytes 2..6 of a write (byte 7 is the marker) and
// returns them in reply bytes 2..7 of a read.
constexpr std::size_t kBusWriteRoom = 5;
constexpr std::size_t kBusReadRoom = 6;

void PutAddress(std::uint8_t* payload, std::uint16_t address) {
  payload[0] = static_cast<std::uint8_t>(address & 0xFF);
  payload[1] = static_cast<std::uint8_t>(address >> 8);
}

// Bytes a bus transfer covers: a two-byte register address (high nibble 2) or a one-byte one,
// followed by (format & 0x0F) data bytes.
std::size_t BusLength(std::uint8_t format) {
  const std::size_t data = format & 0x0F;
  return (format & 0xF0) == 0x20 ? data + 2 : data + 1;
}

}  // namespace

bool WriteRegister(DeviceIndex, std::uint16_t reg, std::uint8_t value) {
  std::uint8_t payload[kRegisterPayloadSize] = {};
  PutAddress(payload, reg);
  payload[2] = value;
  payload[3] = kWriteMarker;
  return SetRequest(kSelectorRegister, payload, sizeof(payload));
}

bool ReadRegister(DeviceIndex, std::uint16_t reg, std::uint8_t* value) {
  std::uint8_t request[kRegisterPayloadSize] = {};
  PutAddress(request, reg);
  request[3] = kReadMarker;
  std::uint8_t reply[kRegisterPayloadSize];
  if (!SetThenGetRequest(kSelectorRegister, request, reply, sizeof(reply))) {
    return false;
  }
  *value = reply[2];
  return true;
}

bool WriteBus(std::uint8_t target, std::uint8_t format, const std::uint8_t* bytes,
              std::size_t count) {
  std::uint8_t payload[kBusPayloadSize] = {};
  payload[0] = target;
  payload[1] = format;
  // The format may ask for up to 17 bytes; send only what both the payload and the caller's
  // buffer hold.
  const std::size_t n = std::min({BusLength(format), kBusWriteRoom, count});
  if (n > 0) {
    std::memcpy(payload + 2, bytes, n);
  }
  payload[7] = kWriteMarker;
  return SetRequest(kSelectorBus, payload, sizeof(payload));
}

bool ReadBus(std::uint8_t target, std::uint8_t format, std::uint8_t* buffer, std::size_t capacity) {
  std::uint8_t request[kBusPayloadSize] = {};
  request[0] = target;
  request[1] = format;
  // The register address: one byte, or two when the format's high nibble is 2.
  if (capacity >= 1) {
    request[2] = buffer[0];
  }
  if ((format & 0xF0) == 0x20 && capacity >= 2) {
    request[3] = buffer[1];
  }
  request[7] = kReadMarker;
  std::uint8_t reply[kBusPayloadSize];
  if (!SetThenGetRequest(kSelectorBus, request, reply, sizeof(reply))) {
    return false;
  }
  const std::size_t n = std::min({BusLength(format), kBusReadRoom, capacity});
  if (n > 0) {
    std::memcpy(buffer, reply + 2, n);
  }
  return true;
}

bool FlashWriteChunk(DeviceIndex, std::uint16_t address, std::uint8_t count,
                     const std::uint8_t* data) {
  std::uint8_t payload[kCommandPayloadSize] = {};
  PutAddress(payload, address);
  const std::uint8_t k = std::min(count, kMaxPieceBytes);
  payload[2] = k;
  if (k > 0) {
    std::memcpy(payload + 3, data, k);
  }
  return SetRequest(kSelectorFlash, payload, sizeof(payload));
}

bool FlashReadRequest(DeviceIndex, std::uint16_t address, std::uint8_t count) {
  std::uint8_t payload[kCommandPayloadSize] = {};
  PutAddress(payload, address);
  payload[2] = kFlashReadCommand | std::min(count, kMaxPieceBytes);
  return SetRequest(kSelectorFlash, payload, sizeof(payload));
}

bool FlashReadData(DeviceIndex, std::uint8_t* data8) {
  std::uint8_t reply[kCommandPayloadSize];
  if (!GetRequest(kSelectorFlash, reply, sizeof(reply))) {
    return false;
  }
  std::memcpy(data8, reply + 3, kMaxPieceBytes);
  return true;
}

bool EraseFlash(DeviceIndex) {
  std::uint8_t payload[kCommandPayloadSize] = {};
  payload[2] = kFlashEraseCommand;
  return SetRequest(kSelectorFlash, payload, sizeof(payload));
}

bool EraseFlashAt(DeviceIndex, std::uint8_t first, std::uint16_t second) {
  std::uint8_t payload[kCommandPayloadSize] = {};
  payload[2] = kFlashEraseAtCommand;
  payload[3] = first;
  payload[4] = static_cast<std::uint8_t>(second & 0xFF);
  payload[5] = static_cast<std::uint8_t>(second >> 8);
  return SetRequest(kSelectorFlash, payload, sizeof(payload));
}

bool MemoryReadChunk(DeviceIndex, std::uint16_t address, std::uint8_t* data8) {
  std::uint8_t request[kCommandPayloadSize] = {};
  PutAddress(request, address);
  request[2] = kMaxPieceBytes;
  std::uint8_t reply[kCommandPayloadSize];
  if (!SetThenGetRequest(kSelectorMemory, request, reply, sizeof(reply))) {
    return false;
  }
  // The reply states its own count; the caller's buffer holds 8 whatever it claims.
  const std::uint8_t n = std::min(reply[2], kMaxPieceBytes);
  std::memcpy(data8, reply + 3, n);
  return true;
}

bool ReadFlashMode(DeviceIndex, std::uint8_t* mode) {
  std::uint8_t reply[kCommandPayloadSize];
  if (!GetRequest(kSelectorStatus, reply, sizeof(reply))) {
    return false;
  }
  *mode = reply[2];
  return true;
}

bool ReadFlashWord(DeviceIndex, std::uint16_t* word) {
  std::uint8_t reply[kCommandPayloadSize];
  if (!GetRequest(kSelectorStatus, reply, sizeof(reply))) {
    return false;
  }
  *word = static_cast<std::uint16_t>(reply[0] | (reply[1] << 8));
  return true;
}

}  // namespace velkor::transport
