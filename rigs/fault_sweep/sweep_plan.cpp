// The run plan of a sweep.
#include "rigs/fault_sweep/sweep_plan.h"

#include <algorithm>

#include "rigs/fault_sweep/sweep_world.h"

namespace velkor::sweep {

namespace {

// The ends of a long phase are where its loop starts and stops: always run them.
constexpr std::uint32_t kEdgeRuns = 2;

}  // namespace

std::vector<PlannedRun> PlanRuns(const std::vector<RequestInfo>& requests,
                                 const std::vector<FaultKind>& kinds, std::uint32_t stride,
                                 std::uint32_t first, std::uint32_t last) {
  stride = std::max<std::uint32_t>(stride, 1);
  const auto end = static_cast<std::uint32_t>(requests.size());
  last = last == 0 ? end : std::min(last, end);
  std::vector<PlannedRun> plan;
  for (FaultKind kind : kinds) {
    // The candidate indices of this kind, split into stretches of one phase each.
    std::vector<std::uint32_t> stretch;
    auto flush = [&] {
      const auto length = static_cast<std::uint32_t>(stretch.size());
      for (std::uint32_t k = 0; k < length; ++k) {
        const std::uint32_t index = stretch[k];
        const RequestInfo& request = requests[index - 1];
        const bool sampled = !IsLongPhase(request.phase) || k % stride == 0 || k < kEdgeRuns ||
                             k + kEdgeRuns >= length;
        if (sampled && index >= first && index <= last) {
          plan.push_back({kind, index, request.phase, ValueByteOf(request.selector)});
        }
      }
      stretch.clear();
    };
    for (std::uint32_t index = 1; index <= end; ++index) {
      const RequestInfo& request = requests[index - 1];
      if (kind == FaultKind::kCorruptReply && !request.get) {
        continue;
      }
      if (!stretch.empty() && requests[stretch.back() - 1].phase != request.phase) {
        flush();
      }
      stretch.push_back(index);
    }
    flush();
  }
  return plan;
}

}  // namespace velkor::sweep
