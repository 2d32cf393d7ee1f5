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
};
constexpr int kFaultKindCount = 4;
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
};
constexpr int kDefectCount = 8;
const char* DefectName(Defect defect);

using DefectSet = std::uint32_t;
constexpr DefectSet Bit(Defect defect) {
  return DefectSet{1} << static_cast<int>(defect);
}
constexpr bool Has(DefectSet set, Defect defect) {
  return (set & Bit(defect)) != 0;
}

}  // namespace velkor::sweep
