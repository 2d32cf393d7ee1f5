// The update of one camera, step by step, over the access library's calls for one device.
#include "update/update_flow.h"

#include <vector>

#include "access/access_calls.h"
#include "access/chip_table.h"
#include "access/device.h"
#include "access/flash_status.h"
#include "access/serial_flash.h"
#include "update/flash_compare.h"
#include "update/status_texts.h"

namespace velkor::update {

namespace {

constexpr int kWholeAttempts = 3;
constexpr int kReadAttempts = 3;
constexpr int kRestoreAttempts = 3;
constexpr std::uint32_t kRestoreBackOffMs[kRestoreAttempts - 1] = {100, 500};
// A step that took this long spent a whole flash wait (40 s) on a flash that stayed busy.
constexpr std::uint64_t kStuckFlashMs = 40000;

class Run {
 public:
  Run(const UpdateTarget& target, const UpdateOptions& options, Clock& clock,
      UpdateObserver& observer)
      : target_(target), options_(options), clock_(clock), observer_(observer) {}

  UpdateRecord Go() {
    if (!Open()) {
      return record_;
    }
    Settle();
    Identify();
    if (options_.backup && !Backup()) {
      // Nothing on the camera was changed: it is only closed.
      observer_.Concluded(record_);
      access::CloseDevice(target_.device);
      return record_;
    }
    Release(pinConfig_.first);
    if (!record_.released && pinConfig_.alternative) {
      // The flash's configuration byte may describe another board than this one.
      Release(*pinConfig_.alternative);
    }
    // Once the erase may have started the old firmware is gone: a transient fault must not
    // leave the camera without any. The erase, check, write and compare run again, from the
    // erase, until one attempt verifies or the attempts run out.
    for (int attempt = 1; attempt <= kWholeAttempts; ++attempt) {
      if (attempt > 1) {
        BeginRetry(attempt);
      }
      if (Erase() && (!options_.checkErased || CheckErased()) && Write() && Verify()) {
        break;
      }
      if (flashStuck_) {
        break;
      }
    }
    // On every path from the release on the protection is restored and the device closed.
    Restore();
    if (writeWentThrough_ || (record_.written && options_.afterWriteStepOnFailedWrite)) {
      access::AfterFlashWrite(target_.device);
    }
    observer_.StepStarted(Step::kClose);
    access::CloseDevice(target_.device);
    observer_.StepFinished(Step::kClose, true, record_);
    return record_;
  }

 private:
  bool Open() {
    observer_.StepStarted(Step::kOpen);
    if (target_.path != nullptr && access::OpenDevice(target_.path, target_.pathLength) > 0) {
      observer_.StepFinished(Step::kOpen, true, record_);
      return true;
    }
    record_.failure = Failure::kOpen;
    observer_.Progress(100);
    observer_.Status(StatusColour::kRed, kTextInitializeFailed);
    // An open that failed after binding leaves the device open.
    access::CloseDevice(target_.device);
    observer_.StepFinished(Step::kOpen, false, record_);
    observer_.Concluded(record_);
    return false;
  }

  void Settle() {
    observer_.StepStarted(Step::kSettle);
    clock_.SleepMs(options_.settleMs);
    observer_.StepFinished(Step::kSettle, true, record_);
  }

  // The identification and the configuration byte that names the write-protect pin; a failed
  // identification leaves the cleared record, which selects the default configuration address.
  void Identify() {
    observer_.StepStarted(Step::kIdentify);
    access::IdentifyChip(target_.device, record_.chipId);
    observer_.StepFinished(Step::kIdentify, true, record_);
    pinConfig_ = access::ReadPinConfig(target_.device, record_.chipId, target_.image);
  }

  bool Backup() {
    observer_.StepStarted(Step::kBackup);
    std::vector<std::uint8_t> old;
    if (!ReadFlash(&old)) {
      return Fail(Step::kBackup, Failure::kBackupUnreadable, nullptr);
    }
    if (!options_.backup(old)) {
      return Fail(Step::kBackup, Failure::kBackupNotSaved, nullptr);
    }
    observer_.StepFinished(Step::kBackup, true, record_);
    return true;
  }

  // The sequence goes on whether or not the release was confirmed: the erase is confirmed on
  // its own, and from here on the protection is restored on every path.
  void Release(std::uint8_t configByte) {
    observer_.StepStarted(Step::kRelease);
    configByte_ = configByte;
    access::ProtectOptions protect;
    protect.reapplyAccessSetup = releases_++ > 0;
    record_.released = access::SetFlashWriteProtect(target_.device, 0, &restoreRegister_,
                                                    &configByte_, target_.image, protect);
    observer_.StepFinished(Step::kRelease, record_.released, record_);
  }

  // A retry starts from a release that holds: one that was not confirmed is tried again.
  void BeginRetry(int attempt) {
    record_.attempts = attempt;
    record_.failure = Failure::kNone;
    observer_.Progress(50);
    observer_.Status(StatusColour::kBlue, kTextRetrying);
    if (!record_.released) {
      Release(pinConfig_.alternative.value_or(pinConfig_.first));
    }
  }

  bool Erase() {
    observer_.StepStarted(Step::kErase);
    // An erase that was not confirmed may have run all the same (the camera carried out the
    // request but told the host it failed, or the erase outlasted the wait): a flash that reads
    // erased once it is idle counts as erased. A second erase would harm nothing either.
    const std::uint64_t start = clock_.NowMs();
    if (!access::EraseFlash(target_.device) && !access::FlashErasedAfterAll(target_.device)) {
      // A flash still busy after waits past the slowest healthy erase will not finish on a
      // second attempt either; more attempts would only keep the line waiting.
      flashStuck_ = clock_.NowMs() - start >= kStuckFlashMs;
      return Fail(Step::kErase, Failure::kErase, kTextEraseFailed);
    }
    observer_.StepFinished(Step::kErase, true, record_);
    return true;
  }

  // On a slow host a small flash can finish erasing before any busy status is seen, so only
  // the content proves the erase.
  bool CheckErased() {
    observer_.StepStarted(Step::kEraseCheck);
    std::vector<std::uint8_t> flash;
    if (!ReadFlash(&flash)) {
      return Fail(Step::kEraseCheck, Failure::kEraseUnreadable, kTextEraseFailed);
    }
    if (!AllErased(flash)) {
      return Fail(Step::kEraseCheck, Failure::kEraseNotBlank, kTextEraseFailed);
    }
    observer_.StepFinished(Step::kEraseCheck, true, record_);
    return true;
  }

  // A write request that failed may have programmed some of its pieces; sending them again
  // over a flash that is not blank is not provably harmless here, so a failed write is
  // followed by a new attempt from the erase.
  bool Write() {
    observer_.StepStarted(Step::kWrite);
    record_.written = true;
    // A flash write only reads from the buffer; the transfer's signature also serves reads.
    auto* image = const_cast<std::uint8_t*>(target_.image.data());
    if (!access::TransferMemory(target_.device, access::kOpWriteFlash, 0, image, ImageSize())) {
      return Fail(Step::kWrite, Failure::kWrite, kTextWriteFailed);
    }
    writeWentThrough_ = true;
    observer_.StepFinished(Step::kWrite, true, record_);
    return true;
  }

  bool Verify() {
    observer_.StepStarted(Step::kVerify);
    observer_.Status(StatusColour::kBlue, kTextChecking);
    observer_.Progress(75);
    std::vector<std::uint8_t> readBack;
    // A failed read-back proves nothing about the flash, whatever the buffer happens to hold.
    if (!ReadFlash(&readBack)) {
      return Fail(Step::kVerify, Failure::kReadBack, kTextCheckFailed);
    }
    Comparison comparison = Compare(readBack, target_.image);
    // A difference may be a garbled reply rather than the flash: one more read decides, and
    // only a read that went through and compares equal can pass.
    if (!comparison.equal && ReadFlash(&readBack)) {
      comparison = Compare(readBack, target_.image);
    }
    if (!comparison.equal) {
      record_.firstDifference = comparison.firstDifference;
      record_.differingBytes = comparison.differingBytes;
      return Fail(Step::kVerify, Failure::kMismatch, kTextCheckFailed);
    }
    record_.verified = true;
    observer_.StepFinished(Step::kVerify, true, record_);
    return true;
  }

  // A pass is only declared once the restore is confirmed: a camera left unprotected is not a
  // pass. The restore decides from the flash only when it was verified equal to the image; an
  // erased or partly written flash would decide wrongly. An unconfirmed restore is tried again
  // from a known state, after a pause that grows.
  void Restore() {
    observer_.StepStarted(Step::kRestore);
    access::ProtectOptions protect;
    protect.decideFromImage = !record_.verified;
    for (int attempt = 0; attempt < kRestoreAttempts && !record_.restored; ++attempt) {
      if (attempt > 0) {
        clock_.SleepMs(kRestoreBackOffMs[attempt - 1]);
        protect.reapplyAccessSetup = true;
      }
      const std::uint64_t start = clock_.NowMs();
      record_.restored = access::SetFlashWriteProtect(target_.device, 1, &restoreRegister_,
                                                      &configByte_, target_.image, protect);
      if (clock_.NowMs() - start >= kStuckFlashMs) {
        break;  // the flash stayed busy through a whole wait: a retry would wait as long
      }
    }
    if (options_.readStatusAfterRestore) {
      // A camera that no longer answers tells a lost camera from a flash that refused the
      // protection.
      std::uint8_t status = 0;
      if (access::ReadFlashStatus(target_.device, &status)) {
        record_.statusAfterRestore = status;
      }
    }
    if (!record_.restored) {
      // Whatever failed before, the camera is left unprotected, and that is what the status
      // line must say; an earlier failure stays the recorded one.
      if (record_.passed()) {
        record_.failure = Failure::kRestore;
      }
      observer_.Progress(100);
      observer_.Status(StatusColour::kRed, kTextRestoreFailed);
      observer_.StepFinished(Step::kRestore, false, record_);
      observer_.Concluded(record_);
      return;
    }
    observer_.StepFinished(Step::kRestore, true, record_);
    if (record_.passed()) {
      observer_.Status(StatusColour::kBlue,
                       record_.attempts > 1 ? kTextFinishedAfterRetry : kTextFinished);
    }
    observer_.Concluded(record_);
  }

  // Records the failure, shows it (when the step has a status text); false. The verdict is
  // concluded once the restore has run.
  bool Fail(Step step, Failure failure, const char* text) {
    record_.failure = failure;
    if (text != nullptr) {
      observer_.Progress(100);
      observer_.Status(StatusColour::kRed, text);
    }
    observer_.StepFinished(step, false, record_);
    return false;
  }

  std::uint32_t ImageSize() const { return static_cast<std::uint32_t>(target_.image.size()); }

  // The whole flash, as long as the image, in one transfer; a transfer that failed is sent
  // again before anyone judges the flash by it.
  bool ReadFlash(std::vector<std::uint8_t>* flash) {
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
      flash->assign(target_.image.size(), 0);
      if (access::TransferMemory(target_.device, access::kOpReadFlash, 0, flash->data(),
                                 ImageSize())) {
        return true;
      }
    }
    return false;
  }

  const UpdateTarget& target_;
  const UpdateOptions& options_;
  Clock& clock_;
  UpdateObserver& observer_;
  UpdateRecord record_;
  access::PinConfig pinConfig_;
  int releases_ = 0;
  bool flashStuck_ = false;  // an erase failed after a whole flash wait
  std::uint8_t configByte_ = 0;
  std::uint16_t restoreRegister_ = access::kNoRestoreRegister;
  bool writeWentThrough_ = false;  // the write request succeeded
};

}  // namespace

UpdateRecord RunUpdate(const UpdateTarget& target, const UpdateOptions& options, Clock& clock,
                       UpdateObserver& observer) {
  return Run(target, options, clock, observer).Go();
}

}  // namespace velkor::update
