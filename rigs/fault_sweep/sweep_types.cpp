// Names of the sweep's kinds, phases, flash contents and defects, as the report prints them.
#include "rigs/fault_sweep/sweep_types.h"

namespace velkor::sweep {

const char* FaultKindName(FaultKind kind) {
  switch (kind) {
    case FaultKind::kFailedRequest:
      return "fail";
    case FaultKind::kSFalse:
      return "s_false";
    case FaultKind::kUnplug:
      return "unplug";
    case FaultKind::kCorruptReply:
      return "corrupt";
    case FaultKind::kDoneFail:
      return "done_fail";
    case FaultKind::kBurst2:
      return "burst2";
    case FaultKind::kBurst8:
      return "burst8";
    case FaultKind::kBurst16:
      return "burst16";
    case FaultKind::kGarble:
      return "garble";
    case FaultKind::kSlowFlash:
      return "slow_flash";
    case FaultKind::kClose:
      return "close";
    case FaultKind::kTerminate:
      return "terminate";
    case FaultKind::kKill:
      return "kill";
  }
  return "?";
}

const char* PhaseName(Phase phase) {
  switch (phase) {
    case Phase::kOpen:
      return "open/identify";
    case Phase::kRelease:
      return "release";
    case Phase::kErase:
      return "erase";
    case Phase::kErasePoll:
      return "erase-poll";
    case Phase::kWrite:
      return "write";
    case Phase::kReadBack:
      return "read-back";
    case Phase::kRestore:
      return "restore";
    case Phase::kClose:
      return "close";
  }
  return "?";
}

bool IsLongPhase(Phase phase) {
  return phase == Phase::kErasePoll || phase == Phase::kWrite || phase == Phase::kReadBack;
}

const char* FlashContentName(FlashContent content) {
  switch (content) {
    case FlashContent::kImage:
      return "image";
    case FlashContent::kOld:
      return "old";
    case FlashContent::kErased:
      return "erased";
    case FlashContent::kPartial:
      return "partial";
    case FlashContent::kOverwritten:
      return "overwritten";
    case FlashContent::kOther:
      return "other";
  }
  return "?";
}

const char* DefectName(Defect defect) {
  switch (defect) {
    case Defect::kPassUnprotected:
      return "\"Pass\", protection off";
    case Defect::kWrittenOverUnerased:
      return "written over unerased";
    case Defect::kFailUnprotected:
      return "\"Fail\", protection off";
    case Defect::kCrash:
      return "crash";
    case Defect::kHang:
      return "hang";
    case Defect::kSanitizer:
      return "sanitizer report";
    case Defect::kNoVerdict:
      return "no verdict";
    case Defect::kPassWithoutImage:
      return "\"Pass\" without image";
    case Defect::kInterruptNotHeld:
      return "end request not held";
    case Defect::kKillVerdict:
      return "kill left no \"Fail\"";
    case Defect::kUnrecoverableAttached:
      return "unrecoverable, attached";
    case Defect::kUnrecoverableReplugged:
      return "unrecoverable, replug";
    case Defect::kFirmwareLost:
      return "firmware lost";
  }
  return "?";
}

}  // namespace velkor::sweep
