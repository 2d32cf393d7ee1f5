// The vocabulary of the fault sweep: fault kinds, the phases of an update, what a run leaves
// behind, how its process ended, and the defect classes a run is judged by.
#pragma once

#include <cstdint>

namespace velkor::sweep {

enum class FaultKind : std::uint8_t {
  kFailedRequest,  // the request is lost and answers E_FAIL
  kSFalse,         // the request is lost and answers S_FALSE, a success code
  kUnplug,         // the camera is unplugged right after the request
  kCorruptReply,   // one byte of the request's reply is inverted (GET requests only)
  kDoneFail,       // the camera carries the request out; the host is told it failed (E_FAIL)
  kBurst2,         // this request and the next lost, answering E_FAIL...
  kBurst8,         // ...eight in a row...
  kBurst16,        // ...sixteen in a row
  kGarble,         // a reply byte XORed with a seeded random mask or one bit (GETs only)
  kSlowFlash,      // no request fault: the flash's erase (up to 30 s) and status-write (up to
                   // 100 ms) times are seeded draws on the virtual clock
  // No request fault: a request to end the program right after the request.
  kClose,      // the window is closed
  kTerminate,  // SIGTERM to the process, through the Linux program's own handler
  kKill,       // the process is killed (SIGKILL): nothing of it runs any more
};
constexpr int kFaultKindCount = 13;
const char* FaultKindName(FaultKind kind);

// The stretch of a clean update that a request index falls in.
enum class Phase : std::uint8_t {
  kOpen,       // trial open, working open, identification, configuration byte
  kRelease,    // setup registers, write-protect pin, status register cleared
  kErase,      // erase commands (the controller's own erase included)
  kErasePoll,  // status polls while the chip erase runs
  kWrite,      // the image's program requests
  kReadBack,   // the read-back of the whole flash
  kRestore,    // setup registers, configuration block, status register, pin
  kClose,      // the after-write step and the close
};
constexpr int kPhaseCount = 8;
const char* PhaseName(Phase phase);
// The write, the read-back and the erase poll: thousands of alike requests each.
bool IsLongPhase(Phase phase);

// What the flash holds after a run, against the old firmware and the image.
enum class FlashContent : std::uint8_t {
  kImage,
  kOld,
  kErased,
  kPartial,      // erased, then partly programmed
  kOverwritten,  // programmed over the old firmware without an erase: old AND image
  kOther,
};
const char* FlashContentName(FlashContent content);

// A fault-free second run of the whole program on what a faulted run left. Plain data.
struct RerunRecord {
  bool ran = false;
  std::int32_t exitCode = -1;
  bool stalled = false;
  bool hasVerdict = false;
  std::uint8_t verdictLength = 0;
  char verdict[31] = {};
  FlashContent flash = FlashContent::kOther;
  std::uint8_t status = 0;
  bool writeProtectLow = false;
};

// What the program left behind, as the child process reports it. Plain data: it crosses a pipe.
struct RunRecord {
  std::int32_t exitCode = -1;
  bool stalled = false;  // the dialog was left with nothing that could happen any more
  bool hasVerdict = false;
  std::uint8_t verdictLength = 0;
  char verdict[31] = {};
  FlashContent flash = FlashContent::kOther;
  std::uint8_t status = 0;  // the flash's status register
  bool writeProtectLow = false;
  bool attached = false;  // the camera is still plugged in
  bool setupRegistersRestored = false;
  bool deviceClosed = false;    // the access library holds no open device
  bool sessionsClosed = false;  // every capture-system session begun was ended
  bool killed = false;          // a kill fault ended the process (its state was saved then)
  // The second runs (with --rerun): the camera left attached with every register as the
  // faulted run left it, and the camera re-plugged (see SimCamera::Replug).
  RerunRecord rerunAttached;
  RerunRecord rerunReplugged;
};

// How the child process that ran the program ended.
struct ChildEnd {
  enum class Kind : std::uint8_t { kReported, kSignal, kTimeout, kNoReport };
  Kind kind = Kind::kNoReport;
  int signal = 0;
  bool sanitizerReport = false;  // a sanitizer wrote a report to the child's stderr
};

enum class Defect : std::uint8_t {
  kPassUnprotected,      // "Pass" with the protection off on an attached camera
  kWrittenOverUnerased,  // the old firmware destroyed: image programmed over unerased flash
  kFailUnprotected,      // another verdict with the protection off on an attached camera
  kCrash,
  kHang,
  kSanitizer,
  kNoVerdict,
  kPassWithoutImage,
  // Judged for the interruption kinds only.
  kInterruptNotHeld,  // after close or terminate: neither a clean run's verdict and camera nor
                      // (ended before the release) an untouched camera without a verdict
  kKillVerdict,       // after kill: neither "Fail", nor (before the release) an untouched camera
                      // without a verdict, nor (after the final verdict) a clean run's end
  // Judged with --rerun only: what the user faces next.
  kUnrecoverableAttached,   // the second run, camera left attached, does not end "Pass" with
                            // the image and the protection on
  kUnrecoverableReplugged,  // the same with the camera re-plugged
  kFirmwareLost,  // attached and answering, the flash holds neither the old firmware nor the
                  // image (not judged for unplug faults: their second run must pass instead)
};
constexpr int kDefectCount = 13;
// The defects judged only with --rerun come after the others.
constexpr int kRecoveryDefectFirst = static_cast<int>(Defect::kUnrecoverableAttached);
const char* DefectName(Defect defect);

using DefectSet = std::uint32_t;
constexpr DefectSet Bit(Defect defect) {
  return DefectSet{1} << static_cast<int>(defect);
}
constexpr bool Has(DefectSet set, Defect defect) {
  return (set & Bit(defect)) != 0;
}

}  // namespace velkor::sweep
