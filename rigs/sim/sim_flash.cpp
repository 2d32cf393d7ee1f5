// The simulated SPI NOR flash: command sessions, status register, timed operations on the
// virtual clock, and the controller's program/read/erase paths.
#include "rigs/sim/sim_flash.h"

#include <algorithm>

namespace velkor::sim {

namespace {
constexpr int kKindWithEnableWriteStatus = 3;
constexpr std::uint8_t kStoredStatusBits = SimFlash::kStatusBlockProtect | SimFlash::kStatusSrwd;
}  // namespace

SimFlash::SimFlash(const SimFlashConfig& config, VirtualClock& clock)
    : clock_(clock),
      kind_(config.kind),
      chipEraseMs_(config.chipEraseMs),
      statusWriteMs_(config.statusWriteMs),
      // A power-up status never shows WIP; WEL comes up clear on real parts.
      status_(config.initialStatus & (kStoredStatusBits)) {
  cells_.fill(0xFF);
  std::copy_n(config.initialContent.begin(), std::min(config.initialContent.size(), kSize),
              cells_.begin());
}

bool SimFlash::Busy() const {
  return stuckBusy_ || clock_.NowMs() < busyUntilMs_;
}

std::uint8_t SimFlash::Status() const {
  return status_ | (Busy() ? kStatusWip : 0);
}

bool SimFlash::AcceptsEraseOpcode(std::uint8_t opcode) const {
  switch (kind_) {
    case 2:
    case 7:
    case 8:
    case 10:
    case 11:
      return opcode == kOpChipEraseC7;
    default:
      return opcode == kOpChipErase60;
  }
}

void SimFlash::Select() {
  if (selected_) {
    return;  // no edge: the running session goes on
  }
  selected_ = true;
  session_.clear();
}

std::uint8_t SimFlash::Transfer(std::uint8_t out) {
  if (!selected_) {
    return 0xFF;
  }
  session_.push_back(out);
  // Only RDSR drives data back; it does so for every byte after its opcode.
  if (session_.size() > 1 && session_.front() == kOpReadStatus) {
    return Status();
  }
  return 0xFF;
}

void SimFlash::Deselect() {
  if (!selected_) {
    return;
  }
  selected_ = false;
  Execute();
  session_.clear();
}

void SimFlash::Execute() {
  if (session_.empty()) {
    return;
  }
  const std::uint8_t opcode = session_.front();
  if (opcode == kOpReadStatus) {
    statusWriteArmed_ = false;
    return;
  }
  if (Busy()) {
    // A busy part ignores everything but RDSR.
    const bool reported =
        opcode == kOpWriteEnable || opcode == kOpChipErase60 || opcode == kOpChipEraseC7;
    if (reported && busyCommandHook_) {
      busyCommandHook_(opcode);
    }
    return;
  }
  const bool armed = statusWriteArmed_;
  statusWriteArmed_ = false;  // EWSR covers only the session right after it
  if (opcode == kOpWriteStatus) {
    if (session_.size() != 2) {
      return;
    }
    const bool enabled = kind_ == kKindWithEnableWriteStatus ? armed : (status_ & kStatusWel) != 0;
    if (enabled) {
      WriteStatus(session_[1]);
    }
    return;
  }
  if (session_.size() != 1) {
    return;
  }
  switch (opcode) {
    case kOpWriteEnable:
      WriteEnable();
      break;
    case kOpWriteDisable:
      status_ &= static_cast<std::uint8_t>(~kStatusWel);
      executed_.push_back(opcode);
      break;
    case kOpEnableWriteStatus:
      if (kind_ == kKindWithEnableWriteStatus) {
        statusWriteArmed_ = true;
        executed_.push_back(opcode);
      }
      break;
    case kOpChipErase60:
    case kOpChipEraseC7:
      ChipErase(opcode);
      break;
    default:
      break;
  }
}

void SimFlash::WriteEnable() {
  status_ |= kStatusWel;
  executed_.push_back(kOpWriteEnable);
}

void SimFlash::WriteStatus(std::uint8_t value) {
  // Hardware protection: with SRWD set the register is frozen while WP# is held low.
  if ((status_ & kStatusSrwd) && writeProtectLow_) {
    return;
  }
  status_ = value & kStoredStatusBits;  // also clears WEL
  StartTimedOperation(statusWriteMs_);
  executed_.push_back(kOpWriteStatus);
}

void SimFlash::ChipErase(std::uint8_t opcode) {
  if (!AcceptsEraseOpcode(opcode) || !(status_ & kStatusWel) || BlockProtected()) {
    return;
  }
  cells_.fill(0xFF);
  status_ &= static_cast<std::uint8_t>(~kStatusWel);
  StartTimedOperation(chipEraseMs_);
  executed_.push_back(opcode);
}

void SimFlash::StartTimedOperation(std::uint32_t durationMs) {
  busyUntilMs_ = clock_.NowMs() + durationMs;
}

bool SimFlash::Program(std::uint16_t address, std::span<const std::uint8_t> data) {
  if (Busy() || BlockProtected()) {
    return false;
  }
  // A page program wraps at the end of its 256-byte page instead of running into the next.
  const std::size_t pageStart = address & ~(kPageSize - 1);
  std::size_t inPage = address - pageStart;
  for (std::uint8_t byte : data) {
    cells_[pageStart + inPage] &= byte;
    inPage = (inPage + 1) % kPageSize;
  }
  status_ &= static_cast<std::uint8_t>(~kStatusWel);
  return true;
}

void SimFlash::Read(std::uint16_t address, std::span<std::uint8_t> out) const {
  const bool busy = Busy();
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = busy ? 0xFF : cells_[(address + i) % kSize];
  }
}

bool SimFlash::EraseChip(std::uint32_t durationMs) {
  if (Busy() || BlockProtected()) {
    return false;
  }
  cells_.fill(0xFF);
  status_ &= static_cast<std::uint8_t>(~kStatusWel);
  StartTimedOperation(durationMs);
  return true;
}

SimFlashState SimFlash::SaveState() const {
  SimFlashState state;
  state.cells = cells_;
  state.status = status_;
  const std::uint64_t now = clock_.NowMs();
  state.busyRemainingMs = busyUntilMs_ > now ? busyUntilMs_ - now : 0;
  state.selected = selected_;
  state.statusWriteArmed = statusWriteArmed_;
  state.session = session_;
  return state;
}

void SimFlash::LoadState(const SimFlashState& state) {
  cells_ = state.cells;
  status_ = state.status & (kStoredStatusBits | kStatusWel);
  busyUntilMs_ = state.busyRemainingMs == 0 ? 0 : clock_.NowMs() + state.busyRemainingMs;
  selected_ = state.selected;
  statusWriteArmed_ = state.statusWriteArmed;
  session_ = state.session;
}

void SimFlash::PowerCycle() {
  busyUntilMs_ = 0;
  selected_ = false;
  session_.clear();
  statusWriteArmed_ = false;
  status_ &= kStoredStatusBits;
}

}  // namespace velkor::sim
