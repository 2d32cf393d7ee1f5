// Which runs a sweep makes: for each fault kind, every request index outside the long phases
// and, inside each long phase, every stride-th index plus the first and last two. Reply
// corruption and garbling only hit requests that carry a reply (GETs). A slow flash is no
// request fault: its runs are seeded draws of the flash's times, counted in the erase phase.
// Double faults are seeded random pairs of (index, kind).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "rigs/fault_sweep/phase_map.h"
#include "rigs/fault_sweep/sweep_types.h"
#include "rigs/fault_sweep/sweep_world.h"

namespace velkor::sweep {

struct PlannedRun {
  FaultKind kind = FaultKind::kFailedRequest;
  std::uint32_t index = 0;  // 1-based request index (0 for a slow flash)
  Phase phase = Phase::kOpen;
  std::uint32_t replyByte = 0;
  std::uint8_t mask = 0xFF;
  std::uint32_t eraseMs = 0;
  std::uint32_t statusWriteMs = 0;
  std::optional<Fault> second;  // a double fault's other half

  Fault AsFault() const { return {kind, index, replyByte, mask, eraseMs, statusWriteMs}; }
};

// The seeded choices of a plan.
struct PlanDraws {
  std::uint64_t seed = 1;
  std::uint32_t garbles = 1;     // garbled replies per GET index
  std::uint32_t slowDraws = 16;  // slow-flash runs
  // Every n-th index outside the long phases too (1: all of them), for quick measurements.
  std::uint32_t shortStride = 1;
};

// stride 1 is the exhaustive sweep. Only indices in [first, last] are planned (last 0: to the
// end of the clean run).
std::vector<PlannedRun> PlanRuns(const std::vector<RequestInfo>& requests,
                                 const std::vector<FaultKind>& kinds, std::uint32_t stride,
                                 std::uint32_t first = 1, std::uint32_t last = 0,
                                 const PlanDraws& draws = {});

// count runs of two faults each, kinds drawn from `kinds` and indices from [first, last] (a
// reply fault only on a GET); the run counts under the earlier fault's kind and phase.
std::vector<PlannedRun> PlanDoubles(const std::vector<RequestInfo>& requests,
                                    const std::vector<FaultKind>& kinds, std::uint32_t count,
                                    std::uint64_t seed, std::uint32_t first = 1,
                                    std::uint32_t last = 0);

// A seeded draw: the same (seed, a, b) gives the same number on every machine.
std::uint64_t Draw(std::uint64_t seed, std::uint64_t a, std::uint64_t b);

}  // namespace velkor::sweep
