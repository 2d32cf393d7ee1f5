// The phase scanner over a clean run's request log.
#include "rigs/fault_sweep/phase_map.h"

namespace velkor::sweep {

namespace {

constexpr std::uint32_t kSelectorRegister = 1;
constexpr std::uint32_t kSelectorFlash = 3;
constexpr std::uint8_t kRegisterWrite = 0x00;
constexpr std::uint8_t kRegisterLatch = 0xFF;
constexpr std::uint8_t kFlashReadRequest = 0x80;
constexpr std::uint8_t kMaxProgramBytes = 8;

constexpr std::uint16_t kRegFlashEnable = 0x1080;
constexpr std::uint16_t kRegDataOut = 0x1082;
constexpr std::uint16_t kRegAfterWrite = 0x1073;
constexpr std::uint8_t kOpReadStatus = 0x05;
constexpr std::uint8_t kOpChipErase60 = 0x60;
constexpr std::uint8_t kOpChipEraseC7 = 0xC7;

constexpr std::uint32_t kExtensionNode = 2;  // where the simulated camera's unit answers

struct Request {
  const sim::TrafficRecord& record;
  bool Set() const { return (record.flags & ks::kTypeSet) != 0; }
  std::uint8_t Byte(std::size_t i) const { return i < record.sent.size() ? record.sent[i] : 0; }
  std::uint16_t Address() const { return static_cast<std::uint16_t>(Byte(0) | (Byte(1) << 8)); }

  bool Latches(std::uint16_t reg) const {
    return record.selector == kSelectorRegister && Set() && Address() == reg &&
           Byte(3) == kRegisterLatch;
  }
  bool Writes(std::uint16_t reg, std::uint8_t value) const {
    return record.selector == kSelectorRegister && Set() && Address() == reg &&
           Byte(3) == kRegisterWrite && Byte(2) == value;
  }
  bool WritesRegister(std::uint16_t reg) const {
    return record.selector == kSelectorRegister && Set() && Address() == reg &&
           Byte(3) == kRegisterWrite;
  }
  bool FlashSet() const { return record.selector == kSelectorFlash && Set(); }
  bool Programs() const { return FlashSet() && Byte(2) >= 1 && Byte(2) <= kMaxProgramBytes; }
  bool StartsRead() const { return FlashSet() && (Byte(2) & kFlashReadRequest) != 0; }
};

}  // namespace

bool CountedRequest(const sim::TrafficRecord& record) {
  return record.device == sim::kSimCameraDevice && (record.flags & ks::kTypeSetSupport) == 0 &&
         record.nodeId == kExtensionNode;
}

std::vector<RequestInfo> MapPhases(const std::vector<sim::TrafficRecord>& traffic,
                                   std::uint16_t flashKindRegister) {
  std::vector<RequestInfo> map;
  Phase phase = Phase::kOpen;
  bool configRead = false;   // the configuration byte's flash read was requested
  bool eraseOpcode = false;  // the chip-erase opcode went out
  for (const sim::TrafficRecord& record : traffic) {
    if (!CountedRequest(record)) {
      continue;
    }
    const Request request{record};
    switch (phase) {
      case Phase::kOpen:
        // Identification reads controller memory; the first flash read is the update's
        // configuration byte, and the release begins with the next flash-kind read.
        configRead = configRead || request.FlashSet();
        if (configRead && request.Latches(flashKindRegister)) {
          phase = Phase::kRelease;
        }
        break;
      case Phase::kRelease:
        if (request.Latches(flashKindRegister)) {
          phase = Phase::kErase;
        }
        break;
      case Phase::kErase:
        if (request.Writes(kRegDataOut, kOpChipErase60) ||
            request.Writes(kRegDataOut, kOpChipEraseC7)) {
          eraseOpcode = true;
        } else if (eraseOpcode && request.Writes(kRegDataOut, kOpReadStatus)) {
          phase = Phase::kErasePoll;
          eraseOpcode = false;
        } else if (request.Programs()) {
          phase = Phase::kWrite;
        }
        break;
      case Phase::kErasePoll:
        if (request.Writes(kRegFlashEnable, 0)) {
          phase = Phase::kErase;  // the interface switched off after the wait
        } else if (request.Programs()) {
          phase = Phase::kWrite;
        }
        break;
      case Phase::kWrite:
        if (request.StartsRead()) {
          phase = Phase::kReadBack;
        }
        break;
      case Phase::kReadBack:
        if (request.Latches(flashKindRegister)) {
          phase = Phase::kRestore;
        }
        break;
      case Phase::kRestore:
        if (request.WritesRegister(kRegAfterWrite)) {
          phase = Phase::kClose;
        }
        break;
      case Phase::kClose:
        break;
    }
    map.push_back({record.selector, !request.Set(), phase});
  }
  return map;
}

}  // namespace velkor::sweep
