// The write: the update flow with the tool's options, its steps turned into report events and
// its record into the exit code, the status text and the summary's details.
#include "service/write_sequence.h"

#include <optional>

#include "service/exit_codes.h"
#include "service/flash_progress.h"
#include "service/image_file.h"
#include "update/status_texts.h"
#include "update/update_flow.h"

namespace velkor::tool {

namespace {

using update::Failure;
using update::Step;
using update::UpdateRecord;

constexpr char kTextNoBackup[] = "the backup could not be made; nothing written";

// Each step as a report event, the whole-flash transfers with their progress.
class ReportObserver : public update::UpdateObserver {
 public:
  ReportObserver(const WriteRequest& request, RequestTap& tap, Report& report,
                 nlohmann::json& fields, const std::string& backupError)
      : request_(request), tap_(tap), report_(report), fields_(fields), backupError_(backupError) {}

  void StepStarted(Step step) override {
    switch (step) {
      case Step::kOpen:
        return report_.Started("open", "opening " + request_.device->path);
      case Step::kSettle:
        return report_.Started("settle", "waiting 2 s as the updater does");
      case Step::kIdentify:
        return report_.Started("identify", "identifying the chip");
      case Step::kBackup:
        return StartTransfer("backup", "reading the old flash into " + request_.backupFile,
                             kWholeFlashReadRequests);
      case Step::kRelease:
        return report_.Started("release", "releasing the write protection");
      case Step::kErase:
        return report_.Started("erase", "erasing the flash");
      case Step::kEraseCheck:
        return StartTransfer("erase-check", "checking the flash is blank", kWholeFlashReadRequests);
      case Step::kWrite:
        return StartTransfer("write", "writing 65,536 bytes", kWholeFlashWriteRequests);
      case Step::kVerify:
        return StartTransfer("verify", "reading back and comparing", kWholeFlashReadRequests);
      case Step::kRestore:
        return report_.Started("restore", "restoring the write protection");
      case Step::kClose:
        return;
    }
  }

  void StepFinished(Step step, bool ok, const UpdateRecord& record) override {
    progress_.reset();
    switch (step) {
      case Step::kOpen:
        return report_.Finished("open", ok, ok ? "opened" : "the camera could not be opened");
      case Step::kSettle:
        return report_.Finished("settle", true, "done");
      case Step::kIdentify:
        return Identified();
      case Step::kBackup:
        return BackupFinished(ok, record);
      case Step::kRelease:
        return report_.Finished(
            "release", ok,
            ok ? "released" : "the release was not confirmed; going on to the erase");
      case Step::kErase:
        return report_.Finished("erase", ok, ok ? "erase done" : "the erase request failed");
      case Step::kEraseCheck:
        return report_.Finished("erase-check", ok, EraseCheckDetail(record.failure));
      case Step::kWrite:
        return report_.Finished("write", ok,
                                ok ? "65,536 bytes written" : "a write request failed");
      case Step::kVerify:
        return VerifyFinished(ok, record);
      case Step::kRestore:
        fields_["protection_confirmed"] = record.restored;
        fields_["status_register"] = record.statusAfterRestore
                                         ? nlohmann::json(*record.statusAfterRestore)
                                         : nlohmann::json(nullptr);
        return report_.Finished(
            "restore", ok, ok ? "protection restored and confirmed" : "protection not confirmed");
      case Step::kClose:
        return report_.Finished("close", true, "camera closed");
    }
  }

 private:
  // A whole-flash transfer, its progress counted from the requests it sends.
  void StartTransfer(const std::string& step, const std::string& message, std::uint64_t requests) {
    report_.Started(step, message);
    progress_.emplace(tap_, report_, step, requests);
  }

  // The chip as the open identified it, with its flash kind and mode read now.
  void Identified() {
    const ChipInfo chip = IdentifiedChip();
    fields_["chip"] = ChipJson(chip);
    report_.Finished("identify", true, "row " + std::to_string(chip.row) + ", id " + chip.id);
  }

  void BackupFinished(bool ok, const UpdateRecord& record) {
    if (ok) {
      report_.Finished("backup", true, "saved " + request_.backupFile);
      fields_["backup"] = request_.backupFile;
    } else if (record.failure == Failure::kBackupUnreadable) {
      report_.Finished("backup", false, "the flash could not be read");
    } else {
      report_.Finished("backup", false, backupError_);
    }
  }

  static std::string EraseCheckDetail(Failure failure) {
    switch (failure) {
      case Failure::kEraseNotBlank:
        return "the flash is not blank; the image was not written";
      case Failure::kEraseUnreadable:
        return "the flash could not be read back; the image was not written";
      default:
        return "the flash is blank";
    }
  }

  void VerifyFinished(bool ok, const UpdateRecord& record) {
    if (ok) {
      report_.Finished("verify", true, "the flash equals the image");
    } else if (record.failure == Failure::kReadBack) {
      report_.Finished("verify", false, "the read-back failed");
    } else {
      fields_["first_difference"] = record.firstDifference;
      fields_["differing_bytes"] = record.differingBytes;
      report_.Finished("verify", false,
                       std::to_string(record.differingBytes) + " bytes differ from the image");
    }
  }

  const WriteRequest& request_;
  RequestTap& tap_;
  Report& report_;
  nlohmann::json& fields_;
  const std::string& backupError_;
  std::optional<ProgressScope> progress_;
};

struct Ending {
  int exitCode;
  const char* statusText;
};

// The exit code and the status text for how the run ended.
Ending EndingOf(const UpdateRecord& record) {
  const bool beforeTheRelease = record.failure == Failure::kOpen ||
                                record.failure == Failure::kBackupUnreadable ||
                                record.failure == Failure::kBackupNotSaved;
  if (!beforeTheRelease && !record.restored) {
    // Whatever failed before, the camera is left unprotected, and that is what is said.
    return {record.statusAfterRestore ? kExitCheckFailed : kExitCameraFailed, kTextRestoreFailed};
  }
  switch (record.failure) {
    case Failure::kNone:
      return {kExitDone,
              record.attempts > 1 ? update::kTextFinishedAfterRetry : update::kTextFinished};
    case Failure::kOpen:
      return {kExitCameraFailed, update::kTextInitializeFailed};
    case Failure::kBackupUnreadable:
      return {kExitCameraFailed, kTextNoBackup};
    case Failure::kBackupNotSaved:
      return {kExitUsage, kTextNoBackup};
    case Failure::kErase:
    case Failure::kEraseUnreadable:
      return {kExitCameraFailed, update::kTextEraseFailed};
    case Failure::kEraseNotBlank:
      return {kExitCheckFailed, update::kTextEraseFailed};
    case Failure::kWrite:
      return {kExitCameraFailed, update::kTextWriteFailed};
    case Failure::kReadBack:
      return {kExitCameraFailed, update::kTextCheckFailed};
    case Failure::kMismatch:
      return {kExitCheckFailed, update::kTextCheckFailed};
    case Failure::kRestore:
      break;
  }
  // A camera that still answers refused the protection; one that does not was lost.
  return {record.statusAfterRestore ? kExitCheckFailed : kExitCameraFailed, kTextRestoreFailed};
}

}  // namespace

WriteOutcome RunWrite(const WriteRequest& request, Clock& clock, RequestTap& tap, Report& report) {
  WriteOutcome outcome;
  outcome.fields = nlohmann::json::object();
  outcome.fields["device"] = DeviceJson(*request.device);

  update::UpdateOptions options;
  options.checkErased = true;  // a service tool reads every byte, where the updater samples
  options.readStatusAfterRestore = true;
  // Some pieces of a failed write may have gone through: the flash holds neither image now.
  options.afterWriteStepOnFailedWrite = true;
  std::string backupError;
  if (!request.backupFile.empty()) {
    options.backup = [&](std::span<const std::uint8_t> old) {
      return SaveFileAtomically(request.backupFile, {old.begin(), old.end()}, &backupError);
    };
  }
  update::UpdateTarget target;
  // The bind compares whole paths; the length only bounds the comparison.
  target.path = request.device->widePath.c_str();
  target.pathLength = static_cast<int>(request.device->widePath.size() + 1);
  target.image = request.image;

  ReportObserver observer(request, tap, report, outcome.fields, backupError);
  const UpdateRecord record = update::RunUpdate(target, options, clock, observer);
  const Ending ending = EndingOf(record);
  outcome.exitCode = ending.exitCode;
  outcome.statusText = ending.statusText;
  outcome.fields["written"] = record.written;
  // A run that ended before the release changed nothing and says only that.
  if (record.failure == Failure::kOpen || record.failure == Failure::kBackupUnreadable ||
      record.failure == Failure::kBackupNotSaved) {
    return outcome;
  }
  outcome.fields["verified"] = record.verified;
  outcome.fields["attempts"] = record.attempts;
  outcome.fields["status_text"] = outcome.statusText;
  return outcome;
}

}  // namespace velkor::tool
