// A 16-byte GUID with the Windows in-memory layout (Data1..3 little-endian on x86, Data4 as is).
#pragma once

#include <cstdint>
#include <cstring>

namespace velkor {

struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
};
static_assert(sizeof(Guid) == 16, "Guid must have the Windows GUID layout");

inline bool operator==(const Guid& a, const Guid& b) {
  return std::memcmp(&a, &b, sizeof(Guid)) == 0;
}
inline bool operator!=(const Guid& a, const Guid& b) {
  return !(a == b);
}

// KSNODETYPE_DEV_SPECIFIC {941C7AC0-C559-11D0-8A2B-00A0C9255AC1}: the topology node type of a
// video-class extension unit.
constexpr Guid kNodeTypeDevSpecific = {
    0x941C7AC0, 0xC559, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};

}  // namespace velkor
