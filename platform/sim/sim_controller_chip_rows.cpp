// The simulated controller variants, one per chip row, in the host's row order.
#include "platform/sim/sim_controller_chip_rows.h"

namespace velkor::sim {

const SimChipRow kSimChipRows[kSimChipRowCount] = {
    {0x9FF8, {'K', '7', 'D', 'R', '0'}, 1, 0x03C5, false},
    {0x9FF8, {'P', '3', 'W', 'R', '0'}, 3, 0x031D, false},
    {0x9FF8, {'T', '9', 'F', 'R', '0'}, 1, 0x0530, false},
    {0x9FF8, {'T', '9', 'F', 'R', '0'}, 2, 0x05F0, false},
    {0xD2B2, {'H', '2', 'M', 'R', '0'}, 1, 0x0530, false},
    {0xDFF8, {'H', '2', 'M', 'R', '0'}, 2, 0x05E0, true},
    {0xDFF8, {'H', '2', 'M', 'R', '0'}, 3, 0x05F0, true},
    {0xDFF8, {'V', '6', 'C', 'R', '0'}, 1, 0x05F0, true},
    {0xDFF8, {'J', '4', 'N', 'R', '0'}, 1, 0x05F0, true},
    {0xBFF8, {'X', '8', 'B', 'R', '0'}, 1, 0x05F0, false},
    {0xBFF8, {'Q', '5', 'L', 'R', '0'}, 1, 0x0690, false},
    {0xBFF8, {'Q', '5', 'L', 'R', '0'}, 2, 0x05F0, true},
    {0xBFF8, {'Z', '1', 'U', 'R', '0'}, 1, 0x05F0, true},
    {0xBFF8, {'V', '6', 'C', 'R', '0'}, 2, 0x05F0, true},
    {0xBFF8, {'G', '3', 'Y', 'R', '0'}, 1, 0x05F0, true},
    {0xBFF8, {'W', '7', 'H', 'R', '0'}, 1, 0x05F0, true},
    {0xBFF8, {'C', '4', 'S', 'R', '0'}, 1, 0x05F0, true},
    {0xC7F8, {'N', '8', 'E', 'R', '0'}, 1, 0x05F0, true},
    {0xC7F8, {'N', '8', 'E', 'R', '0'}, 2, 0x05F0, true},
};

const std::uint16_t kSimIdAddresses[kSimIdAddressCount] = {0x9FF8, 0xD2B2, 0xDFF8, 0xBFF8, 0xC7F8};

}  // namespace velkor::sim
