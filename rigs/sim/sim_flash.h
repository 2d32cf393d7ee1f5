// A 64 KiB SPI NOR flash as the controller sees it: chip-select sessions on the SPI side,
// and the controller's own program, read and erase paths.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <utility>
#include <vector>

#include "rigs/sim/virtual_clock.h"

namespace velkor::sim {

// The model of the flash, as the simulator plays it:
//
// - Status register: bit 0 WIP, bit 1 WEL, bits 2-4 BP0-BP2, bit 7 SRWD. WIP is not stored; it
//   reads 1 while a timed operation runs on the virtual clock (until NowMs() reaches its end).
// - SPI commands arrive as one chip-select session and run when the chip is deselected, as on
//   real parts. A command runs only when the session clocked exactly its own length (1 byte,
//   2 for WRSR); a session with extra or missing bytes does nothing.
//     0x06 WREN sets WEL. 0x04 WRDI clears it.
//     0x05 RDSR: every byte clocked after the opcode returns the status of that moment, so a
//       poller that keeps the chip selected sees WIP clear once the time has passed.
//     0x01 WRSR <value>: needs WEL (kind 3: needs to follow 0x50 EWSR directly instead), is
//       refused while SRWD is set and WP# is low; sets WIP for statusWriteMs, stores bits 2-4
//       and 7 of the value and clears WEL.
//     0x50 EWSR: only kind 3 (SST-style parts) knows it; it arms the very next session for WRSR.
//     0x60 / 0xC7 chip erase: kinds 2, 7, 8, 10 and 11 take only 0xC7, every other kind only
//       0x60. Needs WEL and no BP bit set; sets WIP for chipEraseMs, fills the array with 0xFF
//       and clears WEL.
//   While WIP is set every session except RDSR is ignored; a write enable or chip erase that
//   meets a busy flash is also reported to the busy-command hook. Unknown opcodes are ignored.
// - Block protection is all or nothing here: any BP bit set protects the whole array.
// - Controller-side access (the controller firmware drives its own page program and read):
//     Program ANDs the data into the array (NOR cells only go from 1 to 0, so writing over
//       unerased data corrupts it) and wraps within the 256-byte page like a page program.
//       Refused while busy or while any BP bit is set.
//     Read returns the array; while busy the flash does not answer and the bus reads 0xFF.
//     EraseChip erases like the SPI command without needing WEL; refused while busy or
//       protected. It starts the timed operation; the caller advances the clock.
//   A successful program or erase leaves WEL clear, as the enable they consume would.
// What a flash holds between one power-on and the next run: the array, the stored status bits
// (WEL included), a timed operation still running, and a chip-select session in progress.
struct SimFlashState {
  std::array<std::uint8_t, 0x10000> cells{};
  std::uint8_t status = 0;            // WEL, BP and SRWD bits; WIP is busyRemainingMs != 0
  std::uint64_t busyRemainingMs = 0;  // of the timed operation, from the clock's now
  bool selected = false;
  bool statusWriteArmed = false;
  std::vector<std::uint8_t> session;  // bytes clocked in since the chip was selected
};

struct SimFlashConfig {
  int kind = 5;  // the flash kind, as the controller's flash-kind register reports it
  std::uint32_t chipEraseMs = 800;
  std::uint32_t statusWriteMs = 15;
  std::uint8_t initialStatus = 0x00;
  std::vector<std::uint8_t> initialContent;  // padded with 0xFF to 64 KiB, cut beyond it
};

class SimFlash {
 public:
  static constexpr std::size_t kSize = 0x10000;
  static constexpr std::size_t kPageSize = 256;

  static constexpr std::uint8_t kStatusWip = 0x01;
  static constexpr std::uint8_t kStatusWel = 0x02;
  static constexpr std::uint8_t kStatusBlockProtect = 0x1C;  // BP0..BP2
  static constexpr std::uint8_t kStatusSrwd = 0x80;

  static constexpr std::uint8_t kOpWriteStatus = 0x01;
  static constexpr std::uint8_t kOpWriteDisable = 0x04;
  static constexpr std::uint8_t kOpReadStatus = 0x05;
  static constexpr std::uint8_t kOpWriteEnable = 0x06;
  static constexpr std::uint8_t kOpEnableWriteStatus = 0x50;
  static constexpr std::uint8_t kOpChipErase60 = 0x60;
  static constexpr std::uint8_t kOpChipEraseC7 = 0xC7;

  SimFlash(const SimFlashConfig& config, VirtualClock& clock);

  // SPI side. Transfer clocks one byte out to the flash and returns what it drives back
  // (0xFF when it has nothing to say or is not selected).
  void Select();
  std::uint8_t Transfer(std::uint8_t out);
  void Deselect();
  bool selected() const { return selected_; }

  // The WP# input; true while the board holds it low (status writes under SRWD are refused).
  void SetWriteProtectLow(bool low) { writeProtectLow_ = low; }
  bool writeProtectLow() const { return writeProtectLow_; }

  // Controller side.
  bool Program(std::uint16_t address, std::span<const std::uint8_t> data);
  void Read(std::uint16_t address, std::span<std::uint8_t> out) const;
  bool EraseChip(std::uint32_t durationMs);

  // A flash that hangs: WIP reads set for good and no command is taken.
  void SetStuckBusy(bool stuck) { stuckBusy_ = stuck; }
  // Called with the opcode of each write enable or chip erase session ignored because WIP was
  // set; the controller turns it into a protocol violation.
  void SetBusyCommandHook(std::function<void(std::uint8_t opcode)> hook) {
    busyCommandHook_ = std::move(hook);
  }

  // The whole state, and the state put back (the timed operation resumes on this clock).
  SimFlashState SaveState() const;
  void LoadState(const SimFlashState& state);
  // Power lost and back: a running erase or status write has finished, a session that was never
  // deselected does nothing, and the volatile WEL and EWSR arming are cleared. The array and the
  // non-volatile status bits stay.
  void PowerCycle();

  // Inspection.
  bool Busy() const;
  std::uint8_t Status() const;  // including WIP
  bool BlockProtected() const { return (status_ & kStatusBlockProtect) != 0; }
  int kind() const { return kind_; }
  bool AcceptsEraseOpcode(std::uint8_t opcode) const;
  std::uint8_t ByteAt(std::uint16_t address) const { return cells_[address]; }
  const std::array<std::uint8_t, kSize>& content() const { return cells_; }
  // Opcodes of the sessions that took effect, in order (RDSR is not recorded).
  const std::vector<std::uint8_t>& executedCommands() const { return executed_; }

 private:
  void Execute();
  void WriteEnable();
  void WriteStatus(std::uint8_t value);
  void ChipErase(std::uint8_t opcode);
  void StartTimedOperation(std::uint32_t durationMs);

  VirtualClock& clock_;
  int kind_;
  std::uint32_t chipEraseMs_;
  std::uint32_t statusWriteMs_;
  std::array<std::uint8_t, kSize> cells_{};
  std::uint8_t status_;  // WEL, BP and SRWD bits; WIP comes from busyUntilMs_
  std::uint64_t busyUntilMs_ = 0;
  bool stuckBusy_ = false;
  bool writeProtectLow_ = true;
  bool selected_ = false;
  bool statusWriteArmed_ = false;  // an EWSR session just ran (kind 3)
  std::vector<std::uint8_t> session_;
  std::vector<std::uint8_t> executed_;
  std::function<void(std::uint8_t)> busyCommandHook_;
};

}  // namespace velkor::sim
