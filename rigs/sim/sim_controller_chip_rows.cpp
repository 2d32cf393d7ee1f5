// The simulated controller variants, one per chip row, in the host's row order. Rows 8 and 12
// to 18 need the flash-access setup before the host may drive their flash.
#include "rigs/sim/sim_controller_chip_rows.h"

namespace velkor::sim {

const SimChipRow kSimChipRows[kSimChipRowCount] = {
    {0x9FF8, {'K', '7', 'D', 'R', '0'}, 1, 0x03C5, false, false},
    {0x9FF8, {'P', '3', 'W', 'R', '0'}, 3, 0x031D, false, false},
    {0x9FF8, {'T', '9', 'F', 'R', '0'}, 1, 0x0530, false, false},
    {0x9FF8, {'T', '9', 'F', 'R', '0'}, 2, 0x05F0, false, false},
    {0xD2B2, {'H', '2', 'M', 'R', '0'}, 1, 0x0530, false, false},
    {0xDFF8, {'H', '2', 'M', 'R', '0'}, 2, 0x05E0, true, false},
    {0xDFF8, {'H', '2', 'M', 'R', '0'}, 3, 0x05F0, true, false},
    {0xDFF8, {'V', '6', 'C', 'R', '0'}, 1, 0x05F0, true, false},
    {0xDFF8, {'J', '4', 'N', 'R', '0'}, 1, 0x05F0, true, true},
    {0xBFF8, {'X', '8', 'B', 'R', '0'}, 1, 0x05F0, false, false},
    {0xBFF8, {'Q', '5', 'L', 'R', '0'}, 1, 0x0690, false, false},
    {0xBFF8, {'Q', '5', 'L', 'R', '0'}, 2, 0x05F0, true, false},
    {0xBFF8, {'Z', '1', 'U', 'R', '0'}, 1, 0x05F0, true, true},
    {0xBFF8, {'V', '6', 'C', 'R', '0'}, 2, 0x05F0, true, true},
    {0xBFF8, {'G', '3', 'Y', 'R', '0'}, 1, 0x05F0, true, true},
    {0xBFF8, {'W', '7', 'H', 'R', '0'}, 1, 0x05F0, true, true},
    {0xBFF8, {'C', '4', 'S', 'R', '0'}, 1, 0x05F0, true, true},
    {0xC7F8, {'N', '8', 'E', 'R', '0'}, 1, 0x05F0, true, true},
    {0xC7F8, {'N', '8', 'E', 'R', '0'}, 2, 0x05F0, true, true},
};

const std::uint16_t kSimIdAddresses[kSimIdAddressCount] = {0x9FF8, 0xD2B2, 0xDFF8, 0xBFF8, 0xC7F8};

}  // namespace velkor::sim
