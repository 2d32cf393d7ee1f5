// The protocol-violation record: host actions that a real camera would mishandle. The simulator
// carries them out as the hardware would (the byte is lost, the data is stale, the command is
// ignored) and notes each one here, so that a test can tell a host that merely got lucky from
// one that drove the camera correctly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkor::sim {

enum class SimViolationKind {
  // 0x1082 written while the last byte still shifts: that byte is lost.
  kDataOutWhileShifting,
  // 0x1081 written while the last byte still shifts: that byte is lost, the new one never starts.
  kTransferWhileShifting,
  // 0x1091 raised while a byte shifts: that byte is lost, the flash sees the command without it.
  kDeselectWhileShifting,
  // 0x1083 read before the receive finished: the reply carries the register's stale value.
  kDataInBeforeReceiveDone,
  // A selector-3 program, read or 0xC8 erase while 0x1080 is 1: the controller cannot reach
  // the flash while the host holds its interface; the program and erase do nothing, the read
  // delivers the undriven bus (0xFF).
  kControllerFlashPathWhileHostHolds,
  // A host-driven flash byte on a chip that needs flash-access setup while 0x5F3, 0x5F5 or
  // 0x5F8..0x5FB do not hold the access values: the byte does not reach the flash.
  kFlashAccessWithoutSetup,
  // Write enable or chip erase sent while the flash's WIP bit is set: the flash ignores it.
  kCommandWhileFlashBusy,
  // A set-support probe on a topology node that is not exactly property 0, flags
  // set-support|topology and a null, zero-length buffer: it is refused.
  kMalformedNodeProbe,
};

const char* SimViolationName(SimViolationKind kind);

struct SimViolation {
  SimViolationKind kind;
  // The request that did it: its 1-based number among the device's counted requests (as the
  // request faults count them), or among the camera's own requests when the camera is driven
  // directly. 0 for a node probe, which is not counted.
  std::uint32_t request = 0;
  // The register written or read (for a selector-3 request: the flash address; for a node
  // probe: the node index) and the value written or read (for a command to a busy flash: its
  // opcode; for a selector-3 request: its command byte; for a node probe: the property id).
  std::uint16_t reg = 0;
  std::uint8_t value = 0;
  // The camera's state at that moment, in words ("byte 0x05 shifting, 2 busy polls left").
  std::string state;
  // Index of the capture device in the world; -1 in a camera's own record.
  int device = -1;

  // One line for failure messages: "request 17: data out while shifting (reg 0x1082 = 0x06;
  // byte 0x05 shifting ...)".
  std::string Text() const;
};

// The record for a failure message: one line for each of the first 20 entries and a count of
// the rest; "none" when it is empty.
std::string SimViolationsText(const std::vector<SimViolation>& violations);

}  // namespace velkor::sim
