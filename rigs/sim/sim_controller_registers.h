// Addresses and values of the controller registers that the simulated camera gives meaning to.
#pragma once

#include <cstdint>

namespace velkor::sim::reg {

constexpr std::uint16_t kPinLevel = 0x1006;
constexpr std::uint16_t kPinEnable = 0x1007;
constexpr std::uint16_t kFlashEnable = 0x1080;
constexpr std::uint16_t kFlashControl = 0x1081;
constexpr std::uint16_t kFlashDataOut = 0x1082;
constexpr std::uint16_t kFlashDataIn = 0x1083;
constexpr std::uint16_t kFlashDone = 0x1084;
constexpr std::uint16_t kFlashSelect = 0x1091;
constexpr std::uint16_t kProbe = 0x1185;

constexpr std::uint8_t kControlSend = 1;
constexpr std::uint8_t kControlReceive = 2;
constexpr std::uint8_t kProbeBits = 0x70;

// Flash-access setup: while a chip that needs it is being written by the host, 0x5F3 holds
// 0x06, 0x5F5 0xAF (flash kind 3) or 0x02 (other kinds), and 0x5F8..0x5FB the key 12 12 ED ED.
constexpr std::uint16_t kSetupA = 0x5F3;
constexpr std::uint16_t kSetupB = 0x5F5;
constexpr std::uint16_t kSetupKey = 0x5F8;  // 0x5F8..0x5FB
constexpr std::uint8_t kSetupAAccess = 0x06;
constexpr std::uint8_t kSetupBAccess = 0x02;
constexpr std::uint8_t kSetupBAccessKind3 = 0xAF;
constexpr std::uint8_t kSetupKeyAccess[4] = {0x12, 0x12, 0xED, 0xED};

}  // namespace velkor::sim::reg
