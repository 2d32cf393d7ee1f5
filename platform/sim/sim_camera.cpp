// The simulated controller: power-up state, register file with the flash interface and the
// write-protect pin wiring, and the identification record in controller memory.
#include "platform/sim/sim_camera.h"

#include <algorithm>

#include "platform/sim/sim_controller_chip_rows.h"

namespace velkor::sim {

namespace {

constexpr std::uint16_t kRegPinLevel = 0x1006;
constexpr std::uint16_t kRegPinEnable = 0x1007;
constexpr std::uint16_t kRegFlashEnable = 0x1080;
constexpr std::uint16_t kRegFlashControl = 0x1081;
constexpr std::uint16_t kRegFlashDataOut = 0x1082;
constexpr std::uint16_t kRegFlashDataIn = 0x1083;
constexpr std::uint16_t kRegFlashDone = 0x1084;
constexpr std::uint16_t kRegFlashSelect = 0x1091;
constexpr std::uint16_t kRegProbe = 0x1185;

constexpr std::uint8_t kControlSend = 1;
constexpr std::uint8_t kControlReceive = 2;
constexpr std::uint8_t kProbeBits = 0x70;

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

  const SimChipRow* row = RowOf(config.chipRow);
  flashKindRegister_ = (row != nullptr ? *row : kSimChipRows[0]).flashKindRegister;
  registers_[flashKindRegister_] = static_cast<std::uint8_t>(flash_->kind());
  registers_[kRegFlashSelect] = 1;  // flash deselected
  registers_[0x5F3] = kPowerUpReg5F3;
  registers_[0x5F5] = kPowerUpReg5F5;
  for (std::uint16_t reg = 0x5F8; reg <= 0x5FB; ++reg) {
    registers_[reg] = kPowerUpReg5F8To5FB;
  }
  LoadIdentification();
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

std::uint8_t SimCamera::ReadRegister(std::uint16_t reg) const {
  if (reg == kRegFlashDone) {
    // Transfers complete within their request, so the flag reads done unless told otherwise.
    return config_.transferDoneNeverSettles ? 0 : 1;
  }
  const auto it = registers_.find(reg);
  return it == registers_.end() ? 0 : it->second;
}

void SimCamera::WriteRegister(std::uint16_t reg, std::uint8_t value) {
  registerWrites_.push_back({reg, value});
  switch (reg) {
    case kRegProbe:
      registers_[reg] =
          config_.probeBitsStick ? value : static_cast<std::uint8_t>(value & ~kProbeBits);
      break;
    case kRegFlashSelect:
      registers_[reg] = value;
      if (value == 0) {
        flash_->Select();
      } else {
        flash_->Deselect();
      }
      break;
    case kRegFlashControl:
      registers_[reg] = value;
      RunFlashTransfer(value);
      break;
    case kRegPinLevel:
    case kRegPinEnable:
      registers_[reg] = value;
      UpdateWriteProtect();
      break;
    default:
      registers_[reg] = value;
      break;
  }
}

void SimCamera::RunFlashTransfer(std::uint8_t control) {
  if (ReadRegister(kRegFlashEnable) == 0) {
    return;  // the interface is off: nothing is clocked
  }
  if (control == kControlSend) {
    flash_->Transfer(ReadRegister(kRegFlashDataOut));
  } else if (control == kControlReceive) {
    // Receiving clocks a dummy byte out while the flash drives its answer back.
    registers_[kRegFlashDataIn] = flash_->Transfer(0xFF);
  }
}

bool SimCamera::WriteProtectActive() const {
  if (config_.wpPin < 0 || config_.wpPin > 7) {
    return true;  // no controller pin reaches WP#: the pull-down holds it
  }
  const std::uint8_t mask = static_cast<std::uint8_t>(1u << config_.wpPin);
  if ((ReadRegister(kRegPinEnable) & mask) == 0) {
    return true;  // pin not driven: the pull-down holds WP# low
  }
  const bool pinHigh = (ReadRegister(kRegPinLevel) & mask) != 0;
  const bool wpHigh = config_.wpInverted ? !pinHigh : pinHigh;
  return !wpHigh;
}

void SimCamera::UpdateWriteProtect() {
  flash_->SetWriteProtectLow(WriteProtectActive());
}

}  // namespace velkor::sim
