// The write, step by step in the updater's order: open, settle, identify, configuration byte,
// (backup), release, erase (confirmed), write, read back and compare, restore (confirmed),
// after-write, close.
#include "service/write_sequence.h"

#include "access/access_calls.h"
#include "access/chip_table.h"
#include "access/serial_flash.h"
#include "app/update_sequence.h"
#include "service/exit_codes.h"
#include "service/flash_confirmations.h"
#include "service/flash_progress.h"
#include "service/image_file.h"

namespace velkor::tool {

namespace {

// The updater's pause between opening the camera and identifying it.
constexpr std::uint32_t kSettleMs = 2000;

struct Flow {
  Report& report;
  RequestTap& tap;
  WriteOutcome outcome;
  bool written = false;   // the write request went through: the old firmware is gone
  bool verified = false;  // the flash was read back equal to the image

  void Fail(const std::string& step, int code, const std::string& statusText,
            const std::string& detail) {
    report.Finished(step, false, detail);
    outcome.exitCode = code;
    outcome.statusText = statusText;
  }
};

// The backup: the old flash into a file. False (with the outcome set) when it cannot be made.
bool Backup(Flow& flow, const std::string& file) {
  flow.report.Started("backup", "reading the old flash into " + file);
  std::vector<std::uint8_t> old;
  if (!ReadWholeFlash(&old, flow.tap, flow.report, "backup")) {
    flow.Fail("backup", kExitCameraFailed, "the backup could not be made; nothing written",
              "the flash could not be read");
    return false;
  }
  std::string error;
  if (!SaveFileAtomically(file, old, &error)) {
    flow.Fail("backup", kExitUsage, "the backup could not be made; nothing written", error);
    return false;
  }
  flow.report.Finished("backup", true, "saved " + file);
  flow.outcome.fields["backup"] = file;
  return true;
}

// Erase, then confirm the flash is blank. False when the image must not be written.
bool Erase(Flow& flow) {
  flow.report.Started("erase", "erasing the flash");
  if (!access::EraseFlash()) {
    flow.Fail("erase", kExitCameraFailed, kTextEraseFailed, "the erase request failed");
    return false;
  }
  flow.report.Finished("erase", true, "erase done");
  flow.report.Started("erase-check", "checking the flash is blank");
  switch (CheckErased(flow.tap, flow.report)) {
    case EraseCheck::kBlank:
      flow.report.Finished("erase-check", true, "the flash is blank");
      return true;
    case EraseCheck::kNotBlank:
      flow.Fail("erase-check", kExitCheckFailed, kTextEraseFailed,
                "the flash is not blank; the image was not written");
      return false;
    case EraseCheck::kUnreadable:
      break;
  }
  flow.Fail("erase-check", kExitCameraFailed, kTextEraseFailed,
            "the flash could not be read back; the image was not written");
  return false;
}

void WriteAndVerify(Flow& flow, const std::vector<std::uint8_t>& image) {
  flow.report.Started("write", "writing 65,536 bytes");
  if (!WriteWholeFlash(image, flow.tap, flow.report, "write")) {
    // Some pieces may have gone through: the flash holds neither image now.
    flow.written = true;
    flow.Fail("write", kExitCameraFailed, kTextWriteFailed, "a write request failed");
    return;
  }
  flow.written = true;
  flow.report.Finished("write", true, "65,536 bytes written");
  flow.report.Started("verify", "reading back and comparing");
  std::vector<std::uint8_t> readBack;
  if (!ReadWholeFlash(&readBack, flow.tap, flow.report, "verify")) {
    flow.Fail("verify", kExitCameraFailed, kTextCheckFailed, "the read-back failed");
    return;
  }
  const Comparison comparison = Compare(readBack, image);
  if (!comparison.equal) {
    flow.outcome.fields["first_difference"] = comparison.firstDifference;
    flow.outcome.fields["differing_bytes"] = comparison.differingBytes;
    flow.Fail("verify", kExitCheckFailed, kTextCheckFailed,
              std::to_string(comparison.differingBytes) + " bytes differ from the image");
    return;
  }
  flow.verified = true;
  flow.report.Finished("verify", true, "the flash equals the image");
}

void Restore(Flow& flow, std::uint16_t* restoreRegister, std::uint8_t* configByte,
             const std::vector<std::uint8_t>& image) {
  flow.report.Started("restore", "restoring the write protection");
  const RestoreOutcome restore = RestoreAndConfirm(restoreRegister, configByte, image);
  nlohmann::json& fields = flow.outcome.fields;
  fields["protection_confirmed"] = restore.confirmed;
  fields["status_register"] =
      restore.status ? nlohmann::json(*restore.status) : nlohmann::json(nullptr);
  if (restore.confirmed) {
    flow.report.Finished("restore", true, "protection restored and confirmed");
    return;
  }
  const std::string detail = "protection not confirmed";
  if (flow.outcome.exitCode != kExitDone) {
    // The earlier failure is the verdict; the restore's adds to its message.
    flow.report.Finished("restore", false, detail);
    return;
  }
  flow.Fail("restore", restore.cameraAnswered ? kExitCheckFailed : kExitCameraFailed,
            kTextRestoreFailed, detail);
}

}  // namespace

WriteOutcome RunWrite(const WriteRequest& request, Clock& clock, RequestTap& tap, Report& report) {
  Flow flow{report, tap, {}};
  flow.outcome.fields = nlohmann::json::object();
  flow.outcome.fields["device"] = DeviceJson(*request.device);

  report.Started("open", "opening " + request.device->path);
  OpenCamera camera(*request.device);
  if (!camera.opened()) {
    flow.Fail("open", kExitCameraFailed, kTextInitializeFailed, "the camera could not be opened");
    flow.outcome.fields["written"] = false;
    return flow.outcome;
  }
  report.Finished("open", true, "opened");

  report.Started("settle", "waiting 2 s as the updater does");
  clock.SleepMs(kSettleMs);
  report.Finished("settle", true, "done");

  report.Started("identify", "identifying the chip");
  std::uint8_t chipId[8] = {};
  std::uint8_t configByte = 0;
  std::uint16_t restoreRegister = access::kNoRestoreRegister;
  access::IdentifyChip(chipId);
  const ChipInfo chip = camera.Chip();
  flow.outcome.fields["chip"] = ChipJson(chip);
  report.Finished("identify", true, "row " + std::to_string(chip.row) + ", id " + chip.id);
  access::ReadMemory(app::ConfigAddressFor(chipId), &configByte, 1);

  if (!request.backupFile.empty() && !Backup(flow, request.backupFile)) {
    flow.outcome.fields["written"] = false;
    return flow.outcome;  // nothing was changed on the camera; closed on return
  }

  report.Started("release", "releasing the write protection");
  // As in the updater the sequence goes on either way: the erase is confirmed on its own, and
  // from here on the protection is restored on every path.
  if (access::SetFlashWriteProtect(0, &restoreRegister, &configByte)) {
    report.Finished("release", true, "released");
  } else {
    report.Finished("release", false, "the release was not confirmed; going on to the erase");
  }

  if (Erase(flow)) {
    WriteAndVerify(flow, request.image);
  }
  // On every path from the release on the protection is restored and the camera closed.
  Restore(flow, &restoreRegister, &configByte, request.image);
  if (flow.written) {
    access::AfterFlashWrite();
  }
  camera.Close();
  report.Finished("close", true, "camera closed");

  if (flow.outcome.exitCode == kExitDone) {
    flow.outcome.statusText = kTextFinished;
  }
  flow.outcome.fields["written"] = flow.written;
  flow.outcome.fields["verified"] = flow.verified;
  flow.outcome.fields["status_text"] = flow.outcome.statusText;
  return flow.outcome;
}

}  // namespace velkor::tool
