// Where a chip keeps the configuration byte that names the board's write-protect pin.
#pragma once

#include <cstdint>

namespace velkor::update {

// The flash address of the configuration byte for an 8-byte identification record (code in
// bytes 0..3, in any letter case, version in byte 5). A record left cleared by a failed read
// selects the default address.
std::uint32_t ConfigAddressFor(const std::uint8_t* chipId);

}  // namespace velkor::update
