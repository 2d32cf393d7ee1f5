// Maps each request of a clean update to the phase it belongs to, from landmarks in the
// camera's request log: the configuration-byte read that ends the identification, the
// flash-kind reads that open the release, the erase and the restore, the erase opcode and the
// status polls after it, the first program and read requests, and the after-write step.
#pragma once

#include <cstdint>
#include <vector>

#include "rigs/sim/sim_world.h"
#include "rigs/fault_sweep/sweep_types.h"

namespace velkor::sweep {

struct RequestInfo {
  std::uint32_t selector = 0;
  bool get = false;  // a GET carries a reply that can be corrupted
  Phase phase = Phase::kOpen;
};

// One entry per request the world counted (index 0 is request 1), in order. flashKindRegister
// is the register the chip row reads its flash kind from.
std::vector<RequestInfo> MapPhases(const std::vector<sim::TrafficRecord>& traffic,
                                   std::uint16_t flashKindRegister);

// Whether a log entry is one of the requests the world counts for its faults: to the camera's
// extension unit, not a set-support probe.
bool CountedRequest(const sim::TrafficRecord& record);

}  // namespace velkor::sweep
