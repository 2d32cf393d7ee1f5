// SHA-256 of a byte buffer, as lower-case hex: the station records which image each camera got.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkor::tool {

std::string Sha256Hex(const std::vector<std::uint8_t>& data);

}  // namespace velkor::tool
