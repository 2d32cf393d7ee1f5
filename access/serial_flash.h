// Serial-flash operations driven through the controller: erase, waits, write protection.
#pragma once

#include <cstdint>

#include "access/access_context.h"

namespace velkor::access {

constexpr std::uint16_t kNoRestoreRegister = 0xFFFF;

bool EraseFlash(DeviceIndex device);
bool EraseFlash();
// mode 0 releases the protection before writing; any other mode restores it afterwards.
bool SetFlashWriteProtect(DeviceIndex device, std::uint8_t mode, std::uint16_t* restoreRegister,
                          std::uint8_t* configByte);
bool SetFlashWriteProtect(std::uint8_t mode, std::uint16_t* restoreRegister,
                          std::uint8_t* configByte);
bool ReadFlashMode(DeviceIndex device, std::uint8_t* mode);
bool ReadFlashWord(DeviceIndex device, std::uint16_t* word);
void WaitFlashReady(DeviceIndex device);
void WaitFlashIdle(DeviceIndex device);

}  // namespace velkor::access
