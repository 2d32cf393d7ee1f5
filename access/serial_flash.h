// Serial-flash operations driven through the controller: erase, waits, write protection.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "access/access_context.h"

namespace velkor::access {

constexpr std::uint16_t kNoRestoreRegister = 0xFFFF;

// Erases the whole flash and confirms it: true only when the flash was seen idle and write
// enabled before the erase command, idle with the latch cleared after it (or, where the
// controller erases by itself, idle afterwards), and sampled pieces read back erased.
bool EraseFlash(DeviceIndex device);
bool EraseFlash();
// After an erase that was not confirmed: the request may have been carried out all the same
// (the camera told the host it failed, or the erase outlasted the wait). True when the flash,
// awaited to the end of any erase, reads erased at the sampled pieces.
bool FlashErasedAfterAll(DeviceIndex device);

// How a restore decides and prepares.
struct ProtectOptions {
  // The configuration block's bytes come from the image, not from the flash: for a flash that
  // may be erased or partly written, whose bytes would decide wrongly.
  bool decideFromImage = false;
  // Write the flash-access setup's values without saving the registers first: a repeated
  // release, whose first saved the values to put back, or a retried restore, after an attempt
  // that already put them back.
  bool reapplyAccessSetup = false;
};

// mode 0 releases the protection before writing; any other mode restores it afterwards. True
// only when every step was confirmed: the status register read back holds what was written and
// the pin and setup registers were written (the pin registers also read back). Status writes
// and register writes that cannot be confirmed are retried a few times. The restore first
// releases the chip select, so that a flash left selected takes its commands. Where the
// configuration block that decides the restore cannot be read, its bytes are taken from `image`
// (the 64 KiB image, indexed by flash address); without an image they count as 0.
bool SetFlashWriteProtect(DeviceIndex device, std::uint8_t mode, std::uint16_t* restoreRegister,
                          std::uint8_t* configByte, std::span<const std::uint8_t> image = {},
                          const ProtectOptions& options = {});
bool SetFlashWriteProtect(std::uint8_t mode, std::uint16_t* restoreRegister,
                          std::uint8_t* configByte, std::span<const std::uint8_t> image = {});

// The configuration byte that names the write-protect pin and its polarity.
struct PinConfig {
  std::uint8_t first = 0;  // the byte to release with first; 0 (no pin) when nothing tells
  // The image's byte, where the flash named another: an old firmware may describe its board
  // otherwise, and the release tries this one when the first is not confirmed.
  std::optional<std::uint8_t> alternative;
};
// The flash's byte, agreed on by two reads. Where it reads erased (0xFF) or cannot be read, the
// image's byte at the same address stands in, so that a flash left erased by an earlier run
// does not name a pin the board does not have.
PinConfig ReadPinConfig(DeviceIndex device, const std::uint8_t* chipId,
                        std::span<const std::uint8_t> image);
bool ReadFlashMode(DeviceIndex device, std::uint8_t* mode);
bool ReadFlashWord(DeviceIndex device, std::uint16_t* word);
// True when the last transfer was seen done.
bool WaitFlashReady(DeviceIndex device);
// True when a complete status read showed the flash idle; `status` (optional) receives the last
// status byte read. A read of 0xFF counts as no answer. Gives up after a run of reads without
// an answer or at a deadline sized for the slowest healthy chip erase (`timedOut`, optional,
// tells which), with the flash released either way.
bool WaitFlashIdle(DeviceIndex device, std::uint8_t* status = nullptr, bool* timedOut = nullptr);

}  // namespace velkor::access
