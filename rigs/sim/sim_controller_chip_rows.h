// The simulator's own copy of the few chip-variant facts that shape the simulated controller:
// where its identification record sits, what it says, which register holds the flash kind, who
// erases the flash, and whether the host must set up flash access before it drives the flash.
// Kept apart from the access library's table so that the simulator checks that table rather
// than repeating it.
#pragma once

#include <cstdint>

namespace velkor::sim {

struct SimChipRow {
  std::uint16_t idAddress;
  char code[5];  // four-character chip code, then the fifth identification character
  std::uint8_t version;
  std::uint16_t flashKindRegister;
  bool directErase;  // the host erases this chip's flash itself (else the controller does)
  // The host's flash bytes reach the flash only while 0x5F3, 0x5F5 and 0x5F8..0x5FB hold the
  // access values (see sim_controller_registers.h).
  bool flashAccessSetup;
};

constexpr int kSimChipRowCount = 19;
extern const SimChipRow kSimChipRows[kSimChipRowCount];

// Identification addresses that the host searches, and the record of a chip that no row knows.
constexpr int kSimIdAddressCount = 5;
extern const std::uint16_t kSimIdAddresses[kSimIdAddressCount];
constexpr char kSimUnknownChipCode[5] = {'Y', '0', 'Q', 'R', '0'};

}  // namespace velkor::sim
