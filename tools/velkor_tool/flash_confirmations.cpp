// Erase and restore confirmations for the write.
#include "tools/velkor_tool/flash_confirmations.h"

#include <span>

#include "access/access_calls.h"
#include "access/chip_table.h"
#include "access/flash_status.h"
#include "access/serial_flash.h"
#include "tools/velkor_tool/flash_progress.h"

namespace velkor::tool {

namespace {

constexpr std::uint16_t kRegPinLevel = 0x1006;
// What the restore writes into the status register when it protects: SRWD, BP1, BP0. The two
// low bits (WIP, WEL) are the flash's own and read 0 once the write is done.
constexpr std::uint8_t kStatusProtected = 0x8C;
constexpr std::uint8_t kStatusCompared = 0xFC;
// The restore's rule: protect when the configuration block's byte D (offset 0x03) is at least
// 0x35 and byte F (offset 0x34) has bit 7 set; the chip of row 13 is always protected; in
// flash mode 2 the controller keeps the status register itself.
constexpr std::uint8_t kMinProtectingD = 0x35;
constexpr std::uint8_t kProtectFlagF = 0x80;
constexpr int kAlwaysProtectedRow = 13;
constexpr int kAltBlockRow = 8;
constexpr std::uint8_t kSelfManagedMode = 2;

struct ConfigBlock {
  std::uint16_t d;
  std::uint16_t f;
};

// Where the restore reads the configuration block on this chip. False when the chip's flash
// mode says the controller manages the status register.
bool LocateConfigBlock(ConfigBlock* block) {
  const int rowIndex = access::context.chipRow[0];
  const access::ChipRow& row = access::ChipTable[rowIndex];
  std::uint16_t offset = 0;
  if (row.flashModeQuery != 0) {
    std::uint16_t word = 0;
    access::ReadFlashWord(0, &word);
    std::uint8_t page = 0;
    access::ReadRegister(static_cast<std::uint16_t>(word + 8), &page);
    offset = static_cast<std::uint16_t>(page << 8);
    std::uint8_t mode = 0;
    if (access::ReadFlashMode(0, &mode) && mode == kSelfManagedMode) {
      return false;
    }
  }
  if (row.altConfigBase == 0) {
    *block = {static_cast<std::uint16_t>(0x8003 + offset),
              static_cast<std::uint16_t>(0x8034 + offset)};
  } else if (row.flashModeQuery != 0) {
    *block = {static_cast<std::uint16_t>(offset + 0x03), static_cast<std::uint16_t>(offset + 0x34)};
  } else if (rowIndex == kAltBlockRow) {
    *block = {0x5803, 0x5834};
  } else {
    *block = {0xC003, 0xC034};
  }
  return true;
}

bool ReadFlashByte(std::uint16_t address, std::uint8_t* value) {
  // One retry: a single lost request must not decide the protection.
  return access::ReadMemory(address, value, 1) || access::ReadMemory(address, value, 1);
}

// Whether the restore should have protected the status register; empty when the controller
// manages it or the deciding bytes cannot be known.
std::optional<bool> ExpectedProtection(const std::vector<std::uint8_t>* verifiedImage,
                                       bool* readFailed) {
  *readFailed = false;
  ConfigBlock block{};
  if (!LocateConfigBlock(&block)) {
    return std::nullopt;
  }
  if (access::context.chipRow[0] == kAlwaysProtectedRow) {
    return true;
  }
  std::uint8_t d = 0;
  std::uint8_t f = 0;
  if (verifiedImage != nullptr) {
    d = (*verifiedImage)[block.d];
    f = (*verifiedImage)[block.f];
  } else if (!ReadFlashByte(block.d, &d) || !ReadFlashByte(block.f, &f)) {
    *readFailed = true;
    return std::nullopt;
  }
  return d >= kMinProtectingD && (f & kProtectFlagF) != 0;
}

// The library's restore, handed the image for configuration bytes it cannot read where its
// SetFlashWriteProtect takes one (the test is a requires-expression, so this compiles against
// either form); true when the library reports the restore done.
template <typename ImageSpan>
bool RestoreThroughLibrary(std::uint16_t* restoreRegister, std::uint8_t* configByte,
                           ImageSpan image) {
  const std::uint8_t restore = 1;
  if constexpr (requires {
                  access::SetFlashWriteProtect(restore, restoreRegister, configByte, image);
                }) {
    return access::SetFlashWriteProtect(restore, restoreRegister, configByte, image);
  } else {
    return access::SetFlashWriteProtect(restore, restoreRegister, configByte);
  }
}

// One read-back of the restore: the status register against what the restore should have left,
// and the pin level register against the level that protects.
struct ReadBack {
  bool answered = true;
  bool agrees = false;
};

ReadBack CheckRestore(const std::uint16_t* restoreRegister, const std::uint8_t* configByte,
                      const std::vector<std::uint8_t>* verifiedImage, RestoreOutcome* outcome) {
  ReadBack check;
  bool readFailed = false;
  outcome->expectProtected = ExpectedProtection(verifiedImage, &readFailed);
  check.answered = !readFailed;
  bool statusOk = true;
  std::uint8_t status = 0;
  if (access::ReadFlashStatus(0, &status)) {
    outcome->status = status;
    if (outcome->expectProtected.value_or(false)) {
      statusOk = (status & kStatusCompared) == kStatusProtected;
    }
  } else {
    check.answered = false;
  }
  bool pinOk = true;
  if (*restoreRegister != access::kNoRestoreRegister) {
    std::uint8_t level = 0;
    const bool levelRead = access::ReadRegister(kRegPinLevel, &level);
    check.answered = check.answered && levelRead;
    pinOk = levelRead && level == static_cast<std::uint8_t>(*configByte ^ 0xFF);
  }
  check.agrees = statusOk && pinOk;
  return check;
}

}  // namespace

RestoreOutcome RestoreAndConfirm(std::uint16_t* restoreRegister, std::uint8_t* configByte,
                                 const std::vector<std::uint8_t>& image, bool verified,
                                 int attempts) {
  RestoreOutcome outcome;
  const std::vector<std::uint8_t>* decidingImage = verified ? &image : nullptr;
  while (outcome.attempts < attempts) {
    ++outcome.attempts;
    const bool libraryConfirmed =
        RestoreThroughLibrary(restoreRegister, configByte, std::span<const std::uint8_t>(image));
    // Reading back is harmless, so a read that did not go through is simply read again.
    ReadBack check;
    for (int read = 0; read < attempts; ++read) {
      check = CheckRestore(restoreRegister, configByte, decidingImage, &outcome);
      if (check.answered) {
        break;
      }
    }
    outcome.cameraAnswered = check.answered;
    outcome.confirmed = libraryConfirmed && check.answered && check.agrees;
    // The restore itself is repeated only when the library took it for done and the camera
    // answered otherwise. A restore the library reports unconfirmed was already retried inside
    // it, and it expects the setup its release left: a second call would not find it.
    if (outcome.confirmed || !libraryConfirmed || !check.answered) {
      break;
    }
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
