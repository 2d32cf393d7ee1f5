// The property set and request flags with which the simulator's tests address the camera's
// extension unit, as a host does.
#pragma once

#include <cstdint>

#include "platform/guid.h"

namespace velkor::sim {

inline constexpr Guid kVendorSet = {
    0x5B1E07C4, 0x92D3, 0x4F6A, {0x8E, 0x21, 0x3C, 0x7D, 0x94, 0xA0, 0xB6, 0xF8}};
inline constexpr std::uint32_t kGet = 0x10000001;
inline constexpr std::uint32_t kSet = 0x10000002;
inline constexpr std::uint32_t kSetSupport = 0x10000100;

}  // namespace velkor::sim
