// The judge of one run.
#include "rigs/fault_sweep/run_judge.h"

namespace velkor::sweep {

namespace {

constexpr std::uint8_t kProtectedStatus = 0x8C;  // SRWD, BP1, BP0
constexpr char kFailVerdict[] = "Fail";
constexpr char kWrongDeviceVerdict[] = "Wrong Device\r\n";

}  // namespace

FlashContent ClassifyFlash(std::span<const std::uint8_t> flash, std::span<const std::uint8_t> old,
                           std::span<const std::uint8_t> image) {
  // Each flag stays true while every byte so far fits that description.
  bool isImage = true;
  bool isOld = true;
  bool isErased = true;
  bool erasedOrImage = true;  // partial: every byte erased or programmed from the image
  bool oldOrAnded = true;     // overwritten: every byte old, or old AND image
  bool anyAnded = false;      // ...and at least one byte the AND changed
  for (std::size_t i = 0; i < flash.size(); ++i) {
    const std::uint8_t byte = flash[i];
    const auto anded = static_cast<std::uint8_t>(old[i] & image[i]);
    isImage = isImage && byte == image[i];
    isOld = isOld && byte == old[i];
    isErased = isErased && byte == 0xFF;
    erasedOrImage = erasedOrImage && (byte == 0xFF || byte == image[i]);
    oldOrAnded = oldOrAnded && (byte == old[i] || byte == anded);
    anyAnded = anyAnded || (byte == anded && anded != old[i]);
  }
  if (isImage) {
    return FlashContent::kImage;
  }
  if (isOld) {
    return FlashContent::kOld;
  }
  if (isErased) {
    return FlashContent::kErased;
  }
  if (erasedOrImage) {
    return FlashContent::kPartial;
  }
  if (oldOrAnded && anyAnded) {
    return FlashContent::kOverwritten;
  }
  return FlashContent::kOther;
}

bool ProtectionOn(const RunRecord& record) {
  return (record.status & kProtectedStatus) == kProtectedStatus && record.writeProtectLow;
}

DefectSet Judge(const ChildEnd& end, const RunRecord& record, const std::string& passVerdict) {
  DefectSet defects = 0;
  if (end.sanitizerReport) {
    defects |= Bit(Defect::kSanitizer);
  }
  if (end.kind == ChildEnd::Kind::kTimeout) {
    return defects | Bit(Defect::kHang);
  }
  if (end.kind != ChildEnd::Kind::kReported) {
    // A sanitizer that aborted the child is reported as such, not again as a crash.
    return defects != 0 ? defects : Bit(Defect::kCrash);
  }
  if (record.stalled) {
    defects |= Bit(Defect::kHang);
  }
  if (record.exitCode != 0) {
    defects |= Bit(Defect::kCrash);
  }

  const std::string verdict(record.verdict, record.verdictLength);
  const bool pass = record.hasVerdict && verdict == passVerdict;
  const bool otherVerdict =
      record.hasVerdict && (verdict == kFailVerdict || verdict == kWrongDeviceVerdict);
  if (!pass && !otherVerdict) {
    defects |= Bit(Defect::kNoVerdict);  // none, or bytes that are no verdict of the updater
  }
  const bool exposed = record.attached && !ProtectionOn(record);
  if (pass && exposed) {
    defects |= Bit(Defect::kPassUnprotected);
  }
  if (otherVerdict && exposed) {
    defects |= Bit(Defect::kFailUnprotected);
  }
  if (pass && record.flash != FlashContent::kImage) {
    defects |= Bit(Defect::kPassWithoutImage);
  }
  if (record.flash == FlashContent::kOverwritten || record.flash == FlashContent::kOther) {
    defects |= Bit(Defect::kWrittenOverUnerased);
  }
  return defects;
}

namespace {

bool Recovered(const RerunRecord& rerun, const std::string& passVerdict) {
  const std::string verdict(rerun.verdict, rerun.verdictLength);
  return rerun.exitCode == 0 && !rerun.stalled && rerun.hasVerdict && verdict == passVerdict &&
         rerun.flash == FlashContent::kImage &&
         (rerun.status & kProtectedStatus) == kProtectedStatus && rerun.writeProtectLow;
}

}  // namespace

DefectSet JudgeRecovery(const RunRecord& record, const std::string& passVerdict, bool unplugFault) {
  DefectSet defects = 0;
  if (record.rerunAttached.ran && !Recovered(record.rerunAttached, passVerdict)) {
    defects |= Bit(Defect::kUnrecoverableAttached);
  }
  if (record.rerunReplugged.ran && !Recovered(record.rerunReplugged, passVerdict)) {
    defects |= Bit(Defect::kUnrecoverableReplugged);
  }
  if (!unplugFault && record.attached && record.flash != FlashContent::kOld &&
      record.flash != FlashContent::kImage) {
    defects |= Bit(Defect::kFirmwareLost);
  }
  return defects;
}

}  // namespace velkor::sweep
