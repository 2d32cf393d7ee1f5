// Comparisons of flash content.
#include "update/flash_compare.h"

#include <algorithm>

namespace velkor::update {

Comparison Compare(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  Comparison result;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (a[i] != b[i]) {
      if (result.equal) {
        result.firstDifference = static_cast<std::uint32_t>(i);
      }
      result.equal = false;
      ++result.differingBytes;
    }
  }
  return result;
}

bool AllErased(std::span<const std::uint8_t> flash) {
  return std::all_of(flash.begin(), flash.end(), [](std::uint8_t byte) { return byte == 0xFF; });
}

}  // namespace velkor::update
