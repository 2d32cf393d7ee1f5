// Gated calls of the access library: register access and memory transfer through the table.
// Every call does nothing and returns false (0) when the device is not open or out of range.
#pragma once

#include <cstdint>

#include "access/access_context.h"

namespace velkor::access {

bool TransferMemory(DeviceIndex device, int operation, std::uint32_t address, std::uint8_t* buffer,
                    std::uint32_t length);
bool WriteRegister(DeviceIndex device, std::uint16_t reg, std::uint8_t value);
bool ReadRegister(DeviceIndex device, std::uint16_t reg, std::uint8_t* value);
int AfterFlashWrite(DeviceIndex device);
std::uint8_t* GetContextInfo();

// Short forms for device 0, as the application calls them.
bool TransferMemory(int operation, std::uint32_t address, std::uint8_t* buffer,
                    std::uint32_t length);
bool ReadMemory(std::uint32_t address, std::uint8_t* buffer, std::uint32_t length);
bool WriteMemory(std::uint32_t address, const std::uint8_t* buffer, std::uint32_t length);
bool WriteRegister(std::uint16_t reg, std::uint8_t value);
bool ReadRegister(std::uint16_t reg, std::uint8_t* value);
int AfterFlashWrite();

}  // namespace velkor::access
