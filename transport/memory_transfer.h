// Chunked memory transfer: flash write (6), flash read (7), controller-memory read (9) in
// pieces of at most 8 bytes.
#pragma once

#include <cstdint>

#include "transport/bound_device.h"

namespace velkor::transport {

// Operation codes.
constexpr int kOpWriteFlash = 6;
constexpr int kOpReadFlash = 7;
constexpr int kOpReadMemory = 9;

bool TransferMemory(DeviceIndex device, int operation, std::uint32_t address, std::uint8_t* buffer,
                    std::uint32_t length, std::uint32_t unit);

}  // namespace velkor::transport
