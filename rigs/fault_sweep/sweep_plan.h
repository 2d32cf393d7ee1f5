// Which runs a sweep makes: for each fault kind, every request index outside the long phases
// and, inside each long phase, every stride-th index plus the first and last two. Reply
// corruption only hits requests that carry a reply (GETs).
#pragma once

#include <cstdint>
#include <vector>

#include "rigs/fault_sweep/phase_map.h"
#include "rigs/fault_sweep/sweep_types.h"

namespace velkor::sweep {

struct PlannedRun {
  FaultKind kind;
  std::uint32_t index;  // 1-based request index
  Phase phase;
  std::uint32_t replyByte = 0;
};

// stride 1 is the exhaustive sweep. Only indices in [first, last] are planned (last 0: to the
// end of the clean run).
std::vector<PlannedRun> PlanRuns(const std::vector<RequestInfo>& requests,
                                 const std::vector<FaultKind>& kinds, std::uint32_t stride,
                                 std::uint32_t first = 1, std::uint32_t last = 0);

}  // namespace velkor::sweep
