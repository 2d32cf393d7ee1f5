// The configuration byte's address by chip code and version.
#include "update/config_address.h"

namespace velkor::update {

namespace {

// The record's code compared without regard to letter case, as the firmware writes it either
// way.
bool CodeIs(const std::uint8_t* chipId, const char* code) {
  for (int i = 0; i < 4; ++i) {
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    if (lower(chipId[i]) != lower(static_cast<unsigned char>(code[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::uint32_t ConfigAddressFor(const std::uint8_t* chipId) {
  const std::uint8_t version = chipId[5];
  if (version == 1 &&
      (CodeIs(chipId, "N8ER") || CodeIs(chipId, "C4SR") || CodeIs(chipId, "W7HR"))) {
    return 0xC034;
  }
  if (version == 2 && CodeIs(chipId, "V6CR")) {
    return 0x000F;
  }
  return 0x8034;
}

}  // namespace velkor::update
