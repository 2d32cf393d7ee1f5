// The run plan: strides inside long phases only, the ends of each long stretch, GETs only for
// reply corruption, and the index window.
#include "rigs/fault_sweep/sweep_plan.h"

#include <gtest/gtest.h>

#include <vector>

namespace velkor::sweep {
namespace {

// 4 open requests, a 100-request write, 4 restore requests; every second request a GET.
std::vector<RequestInfo> Requests() {
  std::vector<RequestInfo> requests;
  for (std::uint32_t i = 0; i < 108; ++i) {
    const Phase phase = i < 4 ? Phase::kOpen : i < 104 ? Phase::kWrite : Phase::kRestore;
    requests.push_back({1, i % 2 == 1, phase});
  }
  return requests;
}

std::vector<std::uint32_t> Indices(const std::vector<PlannedRun>& plan) {
  std::vector<std::uint32_t> indices;
  for (const PlannedRun& run : plan) {
    indices.push_back(run.index);
  }
  return indices;
}

TEST(SweepPlan, StrideThinsOnlyTheLongPhasesAndKeepsTheirEnds) {
  const auto plan = PlanRuns(Requests(), {FaultKind::kFailedRequest}, 32);
  EXPECT_EQ(Indices(plan), (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 37, 69, 101, 103, 104, 105,
                                                       106, 107, 108}));
  EXPECT_EQ(plan[6].phase, Phase::kWrite);
  EXPECT_EQ(PlanRuns(Requests(), {FaultKind::kFailedRequest}, 1).size(), 108u);
}

TEST(SweepPlan, ReplyCorruptionHitsOnlyGetsAndTheValueByte) {
  const auto plan = PlanRuns(Requests(), {FaultKind::kCorruptReply}, 1);
  ASSERT_EQ(plan.size(), 54u);
  for (const PlannedRun& run : plan) {
    EXPECT_EQ(run.index % 2, 0u) << run.index;
    EXPECT_EQ(run.replyByte, 2u);
  }
}

TEST(SweepPlan, WindowAndKindsMultiply) {
  const auto plan = PlanRuns(Requests(), {FaultKind::kSFalse, FaultKind::kUnplug}, 1, 105, 200);
  EXPECT_EQ(Indices(plan), (std::vector<std::uint32_t>{105, 106, 107, 108, 105, 106, 107, 108}));
  EXPECT_EQ(plan.front().kind, FaultKind::kSFalse);
  EXPECT_EQ(plan.back().kind, FaultKind::kUnplug);
}

}  // namespace
}  // namespace velkor::sweep
