// The controller's flash interface as the host drives it: bytes that take time to shift, the
// done flag that tells when they have, the flash-access setup that some chips need before the
// host's bytes reach the flash, and the record of every host action the hardware would
// mishandle.
#include <cstdio>
#include <utility>

#include "rigs/sim/sim_camera.h"
#include "rigs/sim/sim_controller_chip_rows.h"
#include "rigs/sim/sim_controller_registers.h"

namespace velkor::sim {

namespace {

// Texts are built with snprintf: GCC 12 at -O3 warns falsely (-Wrestrict) on some chains of
// std::string concatenation.
template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[160];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

}  // namespace

void SimCamera::NoteViolation(SimViolationKind kind, std::uint16_t reg, std::uint8_t value,
                              std::string state) {
  SimViolation violation;
  violation.kind = kind;
  violation.request = currentRequest_;
  violation.reg = reg;
  violation.value = value;
  violation.state = std::move(state);
  violations_.push_back(std::move(violation));
}

std::string SimCamera::ShiftState() const {
  if (!shift_.active) {
    return "no byte shifting";
  }
  if (shift_.control == reg::kControlSend) {
    return Format("send of 0x%02X shifting, %u busy polls left", unsigned{shift_.out},
                  unsigned{shift_.pollsLeft});
  }
  return Format("receive shifting, %u busy polls left", unsigned{shift_.pollsLeft});
}

bool SimCamera::HostHoldsFlashInterface() const {
  return ReadRegister(reg::kFlashEnable) != 0;
}

bool SimCamera::FlashAccessSetupHeld() const {
  const bool known = config_.chipRow >= 0 && config_.chipRow < kSimChipRowCount;
  if (!known || !kSimChipRows[config_.chipRow].flashAccessSetup) {
    return true;  // this chip's flash is always wired to the interface
  }
  const std::uint8_t setupB = flash_->kind() == 3 ? reg::kSetupBAccessKind3 : reg::kSetupBAccess;
  if (ReadRegister(reg::kSetupA) != reg::kSetupAAccess || ReadRegister(reg::kSetupB) != setupB) {
    return false;
  }
  for (int i = 0; i < 4; ++i) {
    if (ReadRegister(static_cast<std::uint16_t>(reg::kSetupKey + i)) != reg::kSetupKeyAccess[i]) {
      return false;
    }
  }
  return true;
}

std::string SimCamera::SetupState() const {
  auto at = [this](std::uint16_t address) { return unsigned{ReadRegister(address)}; };
  return Format(
      "setup 0x5F3..0x5FB: %02X %02X %02X %02X %02X %02X, access needs 06 %02X 12 12 ED ED",
      at(0x5F3), at(0x5F5), at(0x5F8), at(0x5F9), at(0x5FA), at(0x5FB),
      flash_->kind() == 3 ? 0xAFu : 0x02u);
}

void SimCamera::StartTransfer(std::uint8_t control) {
  if (!HostHoldsFlashInterface()) {
    return;  // the interface is off: nothing is clocked
  }
  if (control != reg::kControlSend && control != reg::kControlReceive) {
    return;
  }
  shift_.active = true;
  shift_.control = control;
  shift_.out = control == reg::kControlSend ? ReadRegister(reg::kFlashDataOut) : 0xFF;
  shift_.pollsLeft = config_.transferBusyPolls;
  shift_.reaches = FlashAccessSetupHeld();
  if (!shift_.reaches) {
    const std::string what = control == reg::kControlSend
                                 ? Format("send of 0x%02X; ", unsigned{shift_.out})
                                 : std::string("receive; ");
    NoteViolation(SimViolationKind::kFlashAccessWithoutSetup, reg::kFlashControl, control,
                  what + SetupState());
  }
  if (shift_.pollsLeft == 0) {
    CompleteTransfer();
  }
}

void SimCamera::CompleteTransfer() {
  const Shift done = shift_;
  shift_ = Shift{};
  if (!done.reaches) {
    // Nothing drives the data-in line: a receive reads the pull-up.
    if (done.control == reg::kControlReceive) {
      registers_[reg::kFlashDataIn] = 0xFF;
    }
    return;
  }
  const std::uint8_t in = flash_->Transfer(done.out);
  if (done.control == reg::kControlReceive) {
    registers_[reg::kFlashDataIn] = in;
  }
}

void SimCamera::AbortTransferFor(SimViolationKind kind, std::uint16_t reg, std::uint8_t value) {
  NoteViolation(kind, reg, value, ShiftState());
  shift_ = Shift{};  // the byte never completes: the flash does not see it
}

std::uint8_t SimCamera::HostReadRegister(std::uint16_t address) {
  if (address == reg::kFlashDone && shift_.active) {
    if (config_.transferDoneNeverSettles) {
      return 0;
    }
    if (shift_.pollsLeft > 0) {
      --shift_.pollsLeft;
      return 0;
    }
    CompleteTransfer();
    return 1;
  }
  if (address == reg::kFlashDataIn && shift_.active && shift_.control == reg::kControlReceive) {
    const std::uint8_t stale = ReadRegister(address);
    NoteViolation(SimViolationKind::kDataInBeforeReceiveDone, address, stale, ShiftState());
    return stale;
  }
  return ReadRegister(address);
}

void SimCamera::NoteFlashIgnoredBusy(std::uint8_t opcode) {
  NoteViolation(SimViolationKind::kCommandWhileFlashBusy, reg::kFlashSelect, opcode,
                Format("flash status 0x%02X (WIP set)", unsigned{flash_->Status()}));
}

}  // namespace velkor::sim
