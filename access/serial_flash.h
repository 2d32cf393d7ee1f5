// Serial-flash operations driven through the controller: erase, waits, write protection.
#pragma once

#include <cstdint>
#include <span>

#include "access/access_context.h"

namespace velkor::access {

constexpr std::uint16_t kNoRestoreRegister = 0xFFFF;

// Erases the whole flash and confirms it: true only when the flash was seen idle and write
// enabled before the erase command, idle with the latch cleared after it (or, where the
// controller erases by itself, idle afterwards), and sampled pieces read back erased.
bool EraseFlash(DeviceIndex device);
bool EraseFlash();
// mode 0 releases the protection before writing; any other mode restores it afterwards. True
// only when every step was confirmed: the status register read back holds what was written and
// the pin and setup registers were written. Status writes and register writes that cannot be
// confirmed are retried a few times. When the configuration block that decides the restore
// cannot be read, its bytes are taken from `image` (the 64 KiB image just written, indexed by
// flash address); without an image they count as 0.
bool SetFlashWriteProtect(DeviceIndex device, std::uint8_t mode, std::uint16_t* restoreRegister,
                          std::uint8_t* configByte, std::span<const std::uint8_t> image = {});
bool SetFlashWriteProtect(std::uint8_t mode, std::uint16_t* restoreRegister,
                          std::uint8_t* configByte, std::span<const std::uint8_t> image = {});
bool ReadFlashMode(DeviceIndex device, std::uint8_t* mode);
bool ReadFlashWord(DeviceIndex device, std::uint16_t* word);
// True when the last transfer was seen done.
bool WaitFlashReady(DeviceIndex device);
// True when a complete status read showed the flash idle; `status` (optional) receives the last
// status byte read. Gives up after a run of failed reads or the pass bound, with the flash
// released either way.
bool WaitFlashIdle(DeviceIndex device, std::uint8_t* status = nullptr);

}  // namespace velkor::access
