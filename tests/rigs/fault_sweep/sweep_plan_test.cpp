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

TEST(SweepPlan, GarblesAreSeededBitFlipsAndMasksOnGetsOnly) {
  PlanDraws draws;
  draws.garbles = 4;
  draws.seed = 7;
  const auto plan = PlanRuns(Requests(), {FaultKind::kGarble}, 1, 1, 0, draws);
  ASSERT_EQ(plan.size(), 54u * 4);
  for (std::size_t i = 0; i < plan.size(); ++i) {
    EXPECT_EQ(plan[i].index % 2, 0u);  // GETs: every second request
    EXPECT_NE(plan[i].mask, 0);
    if (i % 4 % 2 == 0) {
      EXPECT_EQ(plan[i].mask & (plan[i].mask - 1), 0) << "not a single bit";
    }
  }
  const auto again = PlanRuns(Requests(), {FaultKind::kGarble}, 1, 1, 0, draws);
  draws.seed = 8;
  const auto other = PlanRuns(Requests(), {FaultKind::kGarble}, 1, 1, 0, draws);
  int same = 0;
  int differ = 0;
  for (std::size_t i = 0; i < plan.size(); ++i) {
    same += plan[i].mask == again[i].mask ? 1 : 0;
    differ += plan[i].mask != other[i].mask ? 1 : 0;
  }
  EXPECT_EQ(same, static_cast<int>(plan.size()));
  EXPECT_GT(differ, 0);
}

TEST(SweepPlan, SlowFlashDrawsStartAtTheSlowestHealthyPartAndStayWithinIt) {
  PlanDraws draws;
  draws.slowDraws = 50;
  const auto plan = PlanRuns(Requests(), {FaultKind::kSlowFlash}, 1, 1, 0, draws);
  ASSERT_EQ(plan.size(), 50u);
  EXPECT_EQ(plan[0].eraseMs, 30000u);
  EXPECT_EQ(plan[0].statusWriteMs, 100u);
  for (const PlannedRun& run : plan) {
    EXPECT_GE(run.eraseMs, 800u);
    EXPECT_LE(run.eraseMs, 30000u);
    EXPECT_GE(run.statusWriteMs, 15u);
    EXPECT_LE(run.statusWriteMs, 100u);
    EXPECT_EQ(run.phase, Phase::kErase);
  }
}

TEST(SweepPlan, DoubleFaultsArePairsInIndexOrderWithReplyFaultsOnGets) {
  const std::vector<FaultKind> kinds = {FaultKind::kFailedRequest, FaultKind::kGarble,
                                        FaultKind::kBurst8};
  const auto plan = PlanDoubles(Requests(), kinds, 500, 3, 5, 100);
  ASSERT_EQ(plan.size(), 500u);
  int garbles = 0;
  for (const PlannedRun& run : plan) {
    ASSERT_TRUE(run.second.has_value());
    EXPECT_LE(run.index, run.second->index);
    for (const Fault fault : {run.AsFault(), *run.second}) {
      EXPECT_GE(fault.index, 5u);
      EXPECT_LE(fault.index, 100u);
      if (fault.kind == FaultKind::kGarble) {
        ++garbles;
        EXPECT_EQ(fault.index % 2, 0u);
      }
    }
  }
  EXPECT_GT(garbles, 200);
  EXPECT_EQ(PlanDoubles(Requests(), kinds, 500, 3, 5, 100)[123].second->index,
            plan[123].second->index);
}

}  // namespace
}  // namespace velkor::sweep
