// Confirmations the write needs before it may report success, gathered in one place because
// the access library does not report them itself yet: that the erase left the flash blank,
// and that the protection restore took effect (status register read back, pin level read
// back), with a bounded retry of the restore. Once the library's EraseFlash and
// SetFlashWriteProtect confirm these themselves, this file shrinks to forwarding calls.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "tools/velkor_tool/report.h"
#include "tools/velkor_tool/request_tap.h"

namespace velkor::tool {

enum class EraseCheck { kBlank, kNotBlank, kUnreadable };

// Reads the whole flash back and checks every byte is 0xFF, as flash programmers verify an
// erase: on a slow host a small flash can finish before any busy status is seen, so only the
// content proves the erase.
EraseCheck CheckErased(RequestTap& tap, Report& report);

struct RestoreOutcome {
  bool confirmed = false;
  bool cameraAnswered = true;  // false: the check's own reads failed
  int attempts = 0;
  std::optional<bool> expectProtected;  // empty: the controller manages the status itself
  std::optional<std::uint8_t> status;   // last status read back
};

// Restores the protection (SetFlashWriteProtect mode 1) and confirms it: the library's own
// verdict where it gives one, the status register and the pin level read back. Repeats the
// restore up to `attempts` times while the library reports it done but it does not read back.
// image: the image of this write (the library's stand-in for configuration bytes it cannot
// read). verified: the flash was just read back equal to it; the bytes that decide whether the
// status register is protected are then taken from the image, otherwise read from the flash
// (with one retry).
RestoreOutcome RestoreAndConfirm(std::uint16_t* restoreRegister, std::uint8_t* configByte,
                                 const std::vector<std::uint8_t>& image, bool verified,
                                 int attempts);

}  // namespace velkor::tool
