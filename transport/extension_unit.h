// Extension-unit requests: one vendor property request (or a SET then a GET) per routine, sent
// to the extension-unit node of the bound capture filter.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/guid.h"
#include "transport/bound_device.h"

namespace velkor::transport {

// The vendor property set {5B1E07C4-92D3-4F6A-8E21-3C7D94A0B6F8}.
constexpr Guid kVendorPropertySet = {
    0x5B1E07C4, 0x92D3, 0x4F6A, {0x8E, 0x21, 0x3C, 0x7D, 0x94, 0xA0, 0xB6, 0xF8}};

constexpr std::uint32_t kFlagsSet = 0x10000002;
constexpr std::uint32_t kFlagsGet = 0x10000001;
constexpr std::uint32_t kFlagsSetSupport = 0x10000100;

// Fixed payload sizes per selector.
constexpr std::uint32_t kRegisterPayloadSize = 4;  // selector 1
constexpr std::uint32_t kBusPayloadSize = 8;       // selector 2
constexpr std::uint32_t kCommandPayloadSize = 12;  // selectors 3, 4, 5

bool FindExtensionNode(std::uint32_t* nodeId);

bool WriteRegister(DeviceIndex device, std::uint16_t reg, std::uint8_t value);
bool ReadRegister(DeviceIndex device, std::uint16_t reg, std::uint8_t* value);
// Selector 2. count/capacity: the size of the caller's buffer; nothing beyond it is touched.
bool WriteBus(std::uint8_t target, std::uint8_t format, const std::uint8_t* bytes,
              std::size_t count);
bool ReadBus(std::uint8_t target, std::uint8_t format, std::uint8_t* buffer, std::size_t capacity);
bool FlashWriteChunk(DeviceIndex device, std::uint16_t address, std::uint8_t count,
                     const std::uint8_t* data);
bool FlashReadRequest(DeviceIndex device, std::uint16_t address, std::uint8_t count);
bool FlashReadData(DeviceIndex device, std::uint8_t* data8);
bool EraseFlash(DeviceIndex device);
bool EraseFlashAt(DeviceIndex device, std::uint8_t first, std::uint16_t second);
// Stores at most 8 bytes whatever count the reply claims.
bool MemoryReadChunk(DeviceIndex device, std::uint16_t address, std::uint8_t* data8);
bool ReadFlashMode(DeviceIndex device, std::uint8_t* mode);
bool ReadFlashWord(DeviceIndex device, std::uint16_t* word);

}  // namespace velkor::transport
