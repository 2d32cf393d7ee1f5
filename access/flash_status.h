// Reading the serial flash's status register, for callers that report or confirm the
// protection state (SRWD and the block-protect bits).
#pragma once

#include <cstdint>

#include "access/access_context.h"

namespace velkor::access {

// The status register's bits that decide the protection.
constexpr std::uint8_t kStatusSrwd = 0x80;
constexpr std::uint8_t kStatusBlockProtect = 0x1C;  // BP2, BP1, BP0

// Sends the read-status command through the flash interface and returns the byte the flash
// answered. On chips that need the flash-access setup registers for host-driven commands, they
// are saved, set for the command and put back afterwards, so the controller is left as found.
// False when the device is not open or any request of the sequence failed.
bool ReadFlashStatus(DeviceIndex device, std::uint8_t* status);

}  // namespace velkor::access
