// The update of one camera, step by step, over the access library's calls for one device.
#include "update/update_flow.h"

#include <vector>

#include "access/access_calls.h"
#include "access/chip_table.h"
#include "access/device.h"
#include "access/flash_status.h"
#include "access/serial_flash.h"
#include "update/config_address.h"
#include "update/flash_compare.h"
#include "update/status_texts.h"

namespace velkor::update {

namespace {

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
      access::CloseDevice(target_.device);
      return record_;
    }
    Release();
    if (Erase() && (!options_.checkErased || CheckErased()) && Write()) {
      Verify();
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

  // The identification and the configuration byte; a failed read leaves the cleared record,
  // which selects the default configuration address and no pin.
  void Identify() {
    observer_.StepStarted(Step::kIdentify);
    access::IdentifyChip(target_.device, record_.chipId);
    observer_.StepFinished(Step::kIdentify, true, record_);
    access::TransferMemory(target_.device, access::kOpReadFlash, ConfigAddressFor(record_.chipId),
                           &configByte_, 1);
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
  void Release() {
    observer_.StepStarted(Step::kRelease);
    record_.released =
        access::SetFlashWriteProtect(target_.device, 0, &restoreRegister_, &configByte_);
    observer_.StepFinished(Step::kRelease, record_.released, record_);
  }

  bool Erase() {
    observer_.StepStarted(Step::kErase);
    if (!access::EraseFlash(target_.device)) {
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

  void Verify() {
    observer_.StepStarted(Step::kVerify);
    observer_.Status(StatusColour::kBlue, kTextChecking);
    observer_.Progress(75);
    std::vector<std::uint8_t> readBack;
    // A failed read-back proves nothing about the flash, whatever the buffer happens to hold.
    if (!ReadFlash(&readBack)) {
      Fail(Step::kVerify, Failure::kReadBack, kTextCheckFailed);
      return;
    }
    const Comparison comparison = Compare(readBack, target_.image);
    if (!comparison.equal) {
      record_.firstDifference = comparison.firstDifference;
      record_.differingBytes = comparison.differingBytes;
      Fail(Step::kVerify, Failure::kMismatch, kTextCheckFailed);
      return;
    }
    record_.verified = true;
    observer_.StepFinished(Step::kVerify, true, record_);
  }

  // A pass is only declared once the restore is confirmed: a camera left unprotected is not a
  // pass. The image stands in for configuration bytes that cannot be read back.
  void Restore() {
    observer_.StepStarted(Step::kRestore);
    record_.restored = access::SetFlashWriteProtect(target_.device, 1, &restoreRegister_,
                                                    &configByte_, target_.image);
    if (options_.readStatusAfterRestore) {
      // A camera that no longer answers tells a lost camera from a flash that refused the
      // protection.
      std::uint8_t status = 0;
      if (access::ReadFlashStatus(target_.device, &status)) {
        record_.statusAfterRestore = status;
      }
    }
    if (!record_.passed()) {
      // The earlier failure is the verdict.
      observer_.StepFinished(Step::kRestore, record_.restored, record_);
      return;
    }
    if (!record_.restored) {
      Fail(Step::kRestore, Failure::kRestore, kTextRestoreFailed);
      return;
    }
    observer_.StepFinished(Step::kRestore, true, record_);
    observer_.Status(StatusColour::kBlue, kTextFinished);
    observer_.Concluded(record_);
  }

  // Records the failure, shows it (when the step has a status text) and concludes; false.
  bool Fail(Step step, Failure failure, const char* text) {
    record_.failure = failure;
    if (text != nullptr) {
      observer_.Progress(100);
      observer_.Status(StatusColour::kRed, text);
    }
    observer_.StepFinished(step, false, record_);
    observer_.Concluded(record_);
    return false;
  }

  std::uint32_t ImageSize() const { return static_cast<std::uint32_t>(target_.image.size()); }

  // The whole flash, as long as the image, in one transfer.
  bool ReadFlash(std::vector<std::uint8_t>* flash) {
    flash->assign(target_.image.size(), 0);
    return access::TransferMemory(target_.device, access::kOpReadFlash, 0, flash->data(),
                                  ImageSize());
  }

  const UpdateTarget& target_;
  const UpdateOptions& options_;
  Clock& clock_;
  UpdateObserver& observer_;
  UpdateRecord record_;
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
