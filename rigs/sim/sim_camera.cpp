// The simulated controller: power-up state, register file with the flash interface and the
// write-protect pin wiring, and the identification record in controller memory.
#include "rigs/sim/sim_camera.h"

#include <algorithm>

#include "rigs/sim/sim_controller_chip_rows.h"
#include "rigs/sim/sim_controller_registers.h"

namespace velkor::sim {

namespace {

// Default flash kinds: 4 for chips whose host erases the flash itself (with 0x60 on kind 4),
// 5 for the others, which leave the erase to the controller's own command.
constexpr int kDefaultKindHostErase = 4;
constexpr int kDefaultKindControllerErase = 5;

// Bytes 6-7 of an identification record carry nothing the host compares; non-zero values
// show whether a host copies the whole record.
constexpr std::uint8_t kIdTrailer[2] = {0x5A, 0xA5};

const SimChipRow* RowOf(int chipRow) {
  if (chipRow < 0 || chipRow >= kSimChipRowCount) {
    return nullptr;
  }
  return &kSimChipRows[chipRow];
}

SimFlashConfig FlashConfigFor(const SimCameraConfig& config) {
  const SimChipRow* row = RowOf(config.chipRow);
  SimFlashConfig flash;
  if (config.flashKind >= 0) {
    flash.kind = config.flashKind;
  } else {
    // A chip that no row describes falls back to row 0's rules, as the host does.
    const bool hostErases = row != nullptr && row->directErase;
    flash.kind = hostErases ? kDefaultKindHostErase : kDefaultKindControllerErase;
  }
  flash.chipEraseMs = config.chipEraseMs;
  flash.statusWriteMs = config.statusWriteMs;
  flash.initialStatus = config.initialStatus;
  flash.initialContent = config.initialFlash;
  return flash;
}

}  // namespace

SimCamera::SimCamera(const SimCameraConfig& config, VirtualClock& clock)
    : config_(config),
      clock_(clock),
      flash_(std::make_unique<SimFlash>(FlashConfigFor(config), clock)) {
  flash_->SetStuckBusy(config.flashBusyNeverClears);
  flash_->SetBusyCommandHook([this](std::uint8_t opcode) { NoteFlashIgnoredBusy(opcode); });

  const SimChipRow* row = RowOf(config.chipRow);
  flashKindRegister_ = (row != nullptr ? *row : kSimChipRows[0]).flashKindRegister;
  PowerOnRegisters();
  LoadIdentification();
  UpdateWriteProtect();
}

void SimCamera::PowerOnRegisters() {
  registers_.clear();
  registers_[flashKindRegister_] = static_cast<std::uint8_t>(flash_->kind());
  registers_[reg::kFlashSelect] = 1;  // flash deselected
  registers_[reg::kSetupA] = kPowerUpReg5F3;
  registers_[reg::kSetupB] = kPowerUpReg5F5;
  for (std::uint16_t address = reg::kSetupKey; address < reg::kSetupKey + 4; ++address) {
    registers_[address] = kPowerUpReg5F8To5FB;
  }
}

SimCameraState SimCamera::SaveState() const {
  SimCameraState state;
  state.chipRow = RowOf(config_.chipRow) != nullptr ? config_.chipRow : -1;
  state.flashKind = flash_->kind();
  state.registers = registers_;
  state.shiftActive = shift_.active;
  state.shiftControl = shift_.control;
  state.shiftOut = shift_.out;
  state.shiftPollsLeft = shift_.pollsLeft;
  state.shiftReaches = shift_.reaches;
  state.latchedRegister = latchedRegister_;
  state.flashReadPosition = flashReadPosition_;
  state.flashReadStep = flashReadStep_;
  state.memoryReadAddress = memoryReadAddress_;
  state.flash = flash_->SaveState();
  return state;
}

bool SimCamera::LoadState(const SimCameraState& state, std::string* error) {
  const int row = RowOf(config_.chipRow) != nullptr ? config_.chipRow : -1;
  if (state.chipRow != row || state.flashKind != flash_->kind()) {
    *error = "the state is of chip row " + std::to_string(state.chipRow) + " with flash kind " +
             std::to_string(state.flashKind) + ", the camera is of chip row " +
             std::to_string(row) + " with flash kind " + std::to_string(flash_->kind());
    return false;
  }
  registers_ = state.registers;
  shift_.active = state.shiftActive;
  shift_.control = state.shiftControl;
  shift_.out = state.shiftOut;
  shift_.pollsLeft = state.shiftPollsLeft;
  shift_.reaches = state.shiftReaches;
  latchedRegister_ = state.latchedRegister;
  flashReadPosition_ = state.flashReadPosition;
  flashReadStep_ = state.flashReadStep;
  memoryReadAddress_ = state.memoryReadAddress;
  flash_->LoadState(state.flash);
  UpdateWriteProtect();
  return true;
}

void SimCamera::Replug() {
  PowerOnRegisters();
  shift_ = Shift{};
  latchedRegister_ = 0;
  flashReadPosition_ = 0;
  flashReadStep_ = 0;
  memoryReadAddress_ = 0;
  flash_->PowerCycle();
  UpdateWriteProtect();
}

void SimCamera::LoadIdentification() {
  auto place = [this](std::uint16_t address, const char* code, std::uint8_t version) {
    std::copy_n(code, 4, memory_.begin() + address);
    memory_[address + 4] = '0';
    memory_[address + 5] = version;
    memory_[address + 6] = kIdTrailer[0];
    memory_[address + 7] = kIdTrailer[1];
  };
  const SimChipRow* row = RowOf(config_.chipRow);
  if (row == nullptr) {
    const std::uint8_t version = config_.version != 0 ? config_.version : 1;
    for (std::uint16_t address : kSimIdAddresses) {
      place(address, kSimUnknownChipCode, version);
    }
    return;
  }
  place(row->idAddress, row->code, config_.version != 0 ? config_.version : row->version);
}

std::uint8_t SimCamera::Register(std::uint16_t reg) const {
  return ReadRegister(reg);
}

void SimCamera::SetRegister(std::uint16_t reg, std::uint8_t value) {
  registers_[reg] = value;
  UpdateWriteProtect();
}

std::uint8_t SimCamera::ReadRegister(std::uint16_t address) const {
  if (address == reg::kFlashDone) {
    // What the next done poll would answer, without counting as one.
    return shift_.active || config_.transferDoneNeverSettles ? 0 : 1;
  }
  const auto it = registers_.find(address);
  return it == registers_.end() ? 0 : it->second;
}

void SimCamera::WriteRegister(std::uint16_t address, std::uint8_t value) {
  registerWrites_.push_back({address, value});
  switch (address) {
    case reg::kProbe: {
      const std::uint8_t kept =
          config_.probeBitsStick
              ? static_cast<std::uint8_t>(config_.probeBitsKept & reg::kProbeBits)
              : 0;
      registers_[address] = static_cast<std::uint8_t>((value & ~reg::kProbeBits) | (value & kept));
      break;
    }
    case reg::kFlashSelect:
      if (value != 0 && shift_.active) {
        AbortTransferFor(SimViolationKind::kDeselectWhileShifting, address, value);
      }
      registers_[address] = value;
      if (value == 0) {
        flash_->Select();
      } else {
        flash_->Deselect();
      }
      break;
    case reg::kFlashDataOut:
      if (shift_.active) {
        AbortTransferFor(SimViolationKind::kDataOutWhileShifting, address, value);
      }
      registers_[address] = value;
      break;
    case reg::kFlashControl:
      registers_[address] = value;
      if (shift_.active) {
        // The engine is busy: the byte in flight is cut off and this one never starts.
        AbortTransferFor(SimViolationKind::kTransferWhileShifting, address, value);
      } else {
        StartTransfer(value);
      }
      break;
    case reg::kPinLevel:
    case reg::kPinEnable:
      registers_[address] = value;
      UpdateWriteProtect();
      break;
    default:
      registers_[address] = value;
      break;
  }
}

bool SimCamera::WriteProtectActive() const {
  if (config_.wpPin < 0 || config_.wpPin > 7) {
    return true;  // no controller pin reaches WP#: the pull-down holds it
  }
  const std::uint8_t mask = static_cast<std::uint8_t>(1u << config_.wpPin);
  if ((ReadRegister(reg::kPinEnable) & mask) == 0) {
    return true;  // pin not driven: the pull-down holds WP# low
  }
  const bool pinHigh = (ReadRegister(reg::kPinLevel) & mask) != 0;
  const bool wpHigh = config_.wpInverted ? !pinHigh : pinHigh;
  return !wpHigh;
}

void SimCamera::UpdateWriteProtect() {
  flash_->SetWriteProtectLow(WriteProtectActive());
}

}  // namespace velkor::sim
