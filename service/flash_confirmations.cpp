// Erase and restore confirmations for the write.
#include "service/flash_confirmations.h"

#include <span>

#include "access/flash_status.h"
#include "access/serial_flash.h"
#include "service/flash_progress.h"

namespace velkor::tool {

RestoreOutcome RestoreAndConfirm(std::uint16_t* restoreRegister, std::uint8_t* configByte,
                                 const std::vector<std::uint8_t>& image) {
  RestoreOutcome outcome;
  // The library confirms the restore itself: the status register read back holds what it wrote
  // and the pin write went through, with a bounded retry inside, and configuration bytes it
  // cannot read are taken from the image at the same flash addresses.
  outcome.confirmed = access::SetFlashWriteProtect(1, restoreRegister, configByte,
                                                   std::span<const std::uint8_t>(image));
  // Read once more for the report; a camera that no longer answers tells a lost camera from a
  // flash that refused the protection.
  std::uint8_t status = 0;
  if (access::ReadFlashStatus(0, &status)) {
    outcome.status = status;
  } else {
    outcome.cameraAnswered = false;
  }
  return outcome;
}

EraseCheck CheckErased(RequestTap& tap, Report& report) {
  std::vector<std::uint8_t> flash;
  if (!ReadWholeFlash(&flash, tap, report, "erase-check")) {
    return EraseCheck::kUnreadable;
  }
  for (std::uint8_t byte : flash) {
    if (byte != 0xFF) {
      return EraseCheck::kNotBlank;
    }
  }
  return EraseCheck::kBlank;
}

}  // namespace velkor::tool
