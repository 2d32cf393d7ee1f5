// Byte-wise comparison of flash content with an image.
#pragma once

#include <cstdint>
#include <span>

namespace velkor::update {

struct Comparison {
  bool equal = true;
  std::uint32_t firstDifference = 0;  // valid when !equal
  std::uint32_t differingBytes = 0;
};

// Compares the common length of the two.
Comparison Compare(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);

// True when every byte is 0xFF, as an erased NOR flash reads.
bool AllErased(std::span<const std::uint8_t> flash);

}  // namespace velkor::update
