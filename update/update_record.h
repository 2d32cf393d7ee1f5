// What one run of the update flow did and found, filled in as the run goes.
#pragma once

#include <cstdint>
#include <optional>

namespace velkor::update {

// The steps in the order they run. Backup and erase check run only when asked for.
enum class Step : std::uint8_t {
  kOpen,
  kSettle,
  kIdentify,
  kBackup,
  kRelease,
  kErase,
  kEraseCheck,
  kWrite,
  kVerify,
  kRestore,
  kClose,
};

// The first thing that went wrong; it decides the verdict.
enum class Failure : std::uint8_t {
  kNone,
  kOpen,              // the camera could not be opened and identified
  kBackupUnreadable,  // the old flash could not be read for the backup
  kBackupNotSaved,    // the backup's sink refused it
  kErase,             // the erase was not confirmed
  kEraseUnreadable,   // the erase check could not read the flash back
  kEraseNotBlank,     // the erase check found bytes other than 0xFF
  kWrite,             // a write request failed
  kReadBack,          // the read-back for the comparison failed
  kMismatch,          // the flash read back differs from the image
  kRestore,           // the protection restore was not confirmed after a verified write
};

struct UpdateRecord {
  Failure failure = Failure::kNone;
  std::uint8_t chipId[8] = {};  // cleared: a failed read selects the defaults
  bool released = false;        // the protection release was confirmed
  bool written = false;         // the write request was sent: the old firmware is gone
  bool verified = false;        // the flash was read back equal to the image
  bool restored = false;        // the protection restore was confirmed
  int attempts = 1;             // erase-to-compare attempts made (retried after a failure)
  // The status register read once more after the restore, when the options ask for it; empty
  // when the camera did not answer.
  std::optional<std::uint8_t> statusAfterRestore;
  std::uint32_t firstDifference = 0;  // valid for kMismatch
  std::uint32_t differingBytes = 0;

  bool passed() const { return failure == Failure::kNone; }
};

}  // namespace velkor::update
