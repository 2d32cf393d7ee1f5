// The simulated camera module: a controller with its register file and memory, wired to a
// 64 KiB SPI NOR flash, answering the vendor extension unit's selectors 0 to 5.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/hresult.h"
#include "rigs/sim/sim_flash.h"
#include "rigs/sim/sim_violations.h"
#include "rigs/sim/virtual_clock.h"

namespace velkor::sim {

// Which erase commands and status-write preamble a flash kind takes; see sim_flash.h.
struct SimCameraConfig {
  // ChipTable row whose identification record the controller carries; -1 (or any index outside
  // the table): a chip that no row describes (record "Y0QR" at every identification address,
  // flash kind in row 0's register).
  int chipRow = 18;
  // Version byte of the record; 0 means "the row's own version".
  std::uint8_t version = 0;
  // Value of the chip's flash-kind register; -1 means the simulator's default for the row:
  // 4 where the host erases the flash itself (directErase rows), 5 where the controller does.
  int flashKind = -1;

  // Board wiring of the flash's WP# input: the controller pin (0..7) that drives it and whether
  // an inverter sits between them. With inverted == false WP# follows the pin level; while the
  // pin is not enabled as an output (0x1007 bit clear) the board's pull-down holds WP# low.
  int wpPin = 3;
  bool wpInverted = true;

  // Flash content at power-up (shorter vectors are padded with 0xFF) and status register.
  std::vector<std::uint8_t> initialFlash;
  std::uint8_t initialStatus = 0x8C;  // SRWD + BP1 + BP0: fully write-protected

  // Row-15 probe register 0x1185: whether bits 4..6 stick when written, and which of them do
  // (a build that keeps only some of them is the other build of the chip).
  bool probeBitsStick = true;
  std::uint8_t probeBitsKept = 0x70;
  // Selector 5 answers (rows that query the flash mode): the mode byte and the word W whose
  // register W + 8 gives the configuration block's page.
  std::uint8_t flashMode = 0;
  std::uint16_t flashWord = 0x0600;

  // Timings on the virtual clock.
  std::uint32_t chipEraseMs = 800;
  std::uint32_t statusWriteMs = 15;
  // Whether the controller answers its own erase request only once the erase has ended (as the
  // firmware does). false: it answers as soon as the erase has started, for a rig that holds
  // the answer back in real time and lets the host find the flash still busy afterwards.
  bool controllerAwaitsErase = true;
  // Polls of 0x1084 that read 0 after a byte transfer starts (0x1081 = 1 or 2) before one reads
  // 1. The byte reaches the flash, and a received byte lands in 0x1083, with the poll that reads
  // 1. 0: every byte completes within the request that starts it.
  std::uint32_t transferBusyPolls = 0;

  // Camera-level faults.
  bool transferDoneNeverSettles = false;  // 0x1084 never reads 1
  bool flashBusyNeverClears = false;      // WIP stays set
  std::uint32_t readBackFlipMask = 0;     // XOR into every byte that selector 3 reads back...
  std::int32_t readBackFlipOffset = -1;   // ...or only into the byte at this flash offset
  std::uint8_t memoryReadCount = 8;       // count byte of selector-4 replies
  // From the request of this number on (as the caller numbers them; 0: never) the controller
  // refuses every flash program request: its write path broke in the middle of an update, while
  // flash reads and register access still work.
  std::uint32_t programFailsFrom = 0;
};

// Everything a camera carries from one run of a host to the next: which chip it is (to refuse a
// state of another camera), the controller's registers, the flash interface's byte in flight,
// what the selectors latched between a SET and its GETs, and the flash. Logs (register writes,
// violations, request counts) are not part of it.
struct SimCameraState {
  int chipRow = 18;
  int flashKind = 5;
  std::map<std::uint16_t, std::uint8_t> registers;
  bool shiftActive = false;
  std::uint8_t shiftControl = 0;
  std::uint8_t shiftOut = 0;
  std::uint32_t shiftPollsLeft = 0;
  bool shiftReaches = true;
  std::uint16_t latchedRegister = 0;
  std::uint16_t flashReadPosition = 0;
  std::uint8_t flashReadStep = 0;
  std::uint16_t memoryReadAddress = 0;
  SimFlashState flash;
};

class SimCamera {
 public:
  SimCamera(const SimCameraConfig& config, VirtualClock& clock);

  // One request on the vendor property set. flags is the KSPROPERTY flag word (SET or GET with
  // the topology bit). A SET reads payload, a GET fills it. Malformed requests (unknown selector,
  // wrong payload length, wrong flags) fail the way the device stalls them.
  HResult HandleRequest(std::uint32_t selector, std::uint32_t flags, std::uint8_t* payload,
                        std::uint32_t length);
  // The same, numbered by the caller (the world passes its count of the device's requests), so
  // that the violation record names the request as the request faults count it. The form
  // above numbers the camera's requests itself, from 1.
  HResult HandleRequest(std::uint32_t selector, std::uint32_t flags, std::uint8_t* payload,
                        std::uint32_t length, std::uint32_t requestNumber);

  SimCamera(const SimCamera&) = delete;
  SimCamera& operator=(const SimCamera&) = delete;

  // Host actions that the hardware would have mishandled, in order (see sim_violations.h).
  const std::vector<SimViolation>& violations() const { return violations_; }
  void ClearViolations() { violations_.clear(); }
  // A byte transfer has started and its done poll has not yet read 1.
  bool TransferInFlight() const { return shift_.active; }

  // The camera's state, for a later run to start from what this one left.
  SimCameraState SaveState() const;
  // Puts a saved state back. Refused (false, with the reason) when it is the state of another
  // chip row or flash kind than this camera's.
  bool LoadState(const SimCameraState& state, std::string* error);
  // The camera unplugged and plugged in again: the controller's registers back to their power-on
  // values and nothing latched or shifting; the flash keeps its array and status register, and
  // an erase or status write that was running has finished (see SimFlash::PowerCycle).
  void Replug();

  // Inspection and set-up for tests.
  SimFlash& flash() { return *flash_; }
  const SimFlash& flash() const { return *flash_; }
  // What a selector-1 read of the register would answer.
  std::uint8_t Register(std::uint16_t reg) const;
  // Stores a value for set-up: no side effect on the flash interface, not in registerWrites().
  void SetRegister(std::uint16_t reg, std::uint8_t value);
  std::uint8_t Memory(std::uint16_t address) const { return memory_[address]; }
  bool WriteProtectActive() const;  // the flash's WP# input is low
  const SimCameraConfig& config() const { return config_; }
  // Every register write that arrived over selector 1, in order, for tests that assert sequences.
  struct RegisterWrite {
    std::uint16_t reg;
    std::uint8_t value;
  };
  const std::vector<RegisterWrite>& registerWrites() const { return registerWrites_; }
  // The last selector-2 SET payload (no device behind that bus is modelled) and how many came.
  const std::array<std::uint8_t, 8>& lastBusSet() const { return lastBusSet_; }
  std::uint32_t busSetCount() const { return busSetCount_; }
  // Every selector-3 0x40 command with its two arguments; the controller erases nothing for it.
  struct EraseFlashAtCall {
    std::uint8_t first;
    std::uint16_t second;
  };
  const std::vector<EraseFlashAtCall>& eraseFlashAtCalls() const { return eraseFlashAtCalls_; }
  // Selector-3 0xC8 requests (controller-driven erases), whether or not the flash took them.
  std::uint32_t controllerEraseRequests() const { return controllerEraseRequests_; }
  // The register that holds the flash kind on this chip, and the kind it reports.
  std::uint16_t flashKindRegister() const { return flashKindRegister_; }

  // Power-up values of the setup registers that the host saves and restores.
  static constexpr std::uint8_t kPowerUpReg5F3 = 0x11;
  static constexpr std::uint8_t kPowerUpReg5F5 = 0x22;
  static constexpr std::uint8_t kPowerUpReg5F8To5FB = 0x34;
  // What a flash-read or memory-read reply carries in the data bytes beyond those asked for
  // (by reply byte position 3 to 10, repeating): never the memory's next bytes.
  static constexpr std::uint8_t kReplyPoison[4] = {0xDE, 0xAD, 0xBE, 0xEF};

 private:
  SimCameraConfig config_;
  VirtualClock& clock_;
  std::unique_ptr<SimFlash> flash_;
  std::map<std::uint16_t, std::uint8_t> registers_;
  std::array<std::uint8_t, 0x10000> memory_{};
  std::vector<RegisterWrite> registerWrites_;
  std::uint16_t flashKindRegister_ = 0;

  // Selector state between a SET and the GETs that follow it.
  std::uint16_t latchedRegister_ = 0;
  std::uint16_t flashReadPosition_ = 0;
  std::uint8_t flashReadStep_ = 0;
  std::uint16_t memoryReadAddress_ = 0;
  std::array<std::uint8_t, 8> lastBusSet_{};
  std::uint32_t busSetCount_ = 0;
  std::vector<EraseFlashAtCall> eraseFlashAtCalls_;
  std::uint32_t controllerEraseRequests_ = 0;

  // The byte in the flash interface's shift register between its start and its done poll.
  struct Shift {
    bool active = false;
    std::uint8_t control = 0;     // 1 send, 2 receive
    std::uint8_t out = 0;         // the byte clocked out (0x1082 at the start of a send)
    std::uint32_t pollsLeft = 0;  // done polls that still read 0
    bool reaches = true;          // the flash-access setup let it through to the flash
  };
  Shift shift_;
  std::vector<SimViolation> violations_;
  std::uint32_t ownRequests_ = 0;
  std::uint32_t currentRequest_ = 0;

  void LoadIdentification();
  void PowerOnRegisters();
  std::uint8_t ReadRegister(std::uint16_t reg) const;
  void WriteRegister(std::uint16_t reg, std::uint8_t value);
  void UpdateWriteProtect();

  // The flash interface as the host drives it (sim_controller_flash_port.cpp).
  std::uint8_t HostReadRegister(std::uint16_t reg);
  void StartTransfer(std::uint8_t control);
  void CompleteTransfer();
  void AbortTransferFor(SimViolationKind kind, std::uint16_t reg, std::uint8_t value);
  bool FlashAccessSetupHeld() const;
  bool HostHoldsFlashInterface() const;
  std::string ShiftState() const;
  std::string SetupState() const;
  void NoteFlashIgnoredBusy(std::uint8_t opcode);
  void NoteViolation(SimViolationKind kind, std::uint16_t reg, std::uint8_t value,
                     std::string state);

  HResult HandleRegister(bool set, std::uint8_t* payload);
  HResult HandleBus(bool set, std::uint8_t* payload);
  HResult HandleFlash(bool set, std::uint8_t* payload);
  HResult HandleMemory(bool set, std::uint8_t* payload);
  HResult HandleFlashQuery(bool set, std::uint8_t* payload);
  std::uint8_t FlipReadBack(std::uint16_t address, std::uint8_t value) const;
};

// The fixed payload size of each of the unit's selectors (its control length: 4, 8 or 12
// bytes); 0 for a selector the unit does not know.
std::uint32_t SelectorPayloadSize(std::uint32_t selector);

}  // namespace velkor::sim
