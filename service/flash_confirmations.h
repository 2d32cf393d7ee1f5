// Confirmations the write needs before it may report success: a whole-flash blank check after
// the library's erase (a service tool reads every byte, where the updater samples), and the
// library's confirmed protection restore with the status read back for the report.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "service/report.h"
#include "service/request_tap.h"

namespace velkor::tool {

enum class EraseCheck { kBlank, kNotBlank, kUnreadable };

// Reads the whole flash back and checks every byte is 0xFF, as flash programmers verify an
// erase: on a slow host a small flash can finish before any busy status is seen, so only the
// content proves the erase.
EraseCheck CheckErased(RequestTap& tap, Report& report);

struct RestoreOutcome {
  bool confirmed = false;
  bool cameraAnswered = true;          // false: the status could not be read afterwards
  std::optional<std::uint8_t> status;  // the status register read back afterwards
};

// Restores the protection (SetFlashWriteProtect mode 1, handed the image of this write for
// configuration bytes the flash does not give back) and reports whether the library confirmed
// it, with the status register read back for the report.
RestoreOutcome RestoreAndConfirm(std::uint16_t* restoreRegister, std::uint8_t* configByte,
                                 const std::vector<std::uint8_t>& image);

}  // namespace velkor::tool
