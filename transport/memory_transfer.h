// Chunked memory transfer: flash write (6), flash read (7), controller-memory read (9) in
// pieces of at most 8 bytes.
#pragma once

#include <cstdint>

#include "access/access_context.h"

namespace velkor::transport {

bool TransferMemory(access::DeviceIndex device, int operation, std::uint32_t address,
                    std::uint8_t* buffer, std::uint32_t length, std::uint32_t unit);

}  // namespace velkor::transport
