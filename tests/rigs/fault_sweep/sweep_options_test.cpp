// The sweep's command line: the row and kind lists, the exhaustive switch, and refusals.
#include "rigs/fault_sweep/sweep_options.h"

#include <gtest/gtest.h>

namespace velkor::sweep {
namespace {

TEST(SweepOptions, ListsAndSwitchesBecomeSettings) {
  const auto parsed =
      ParseSweepOptions({"--rows", "all", "--kinds", "unplug,corrupt", "--exhaustive", "--jobs",
                         "4", "--timeout", "9", "--busy-polls", "2"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.options.rows.size(), 19u);
  EXPECT_EQ(parsed.options.rows.back(), 18);
  EXPECT_EQ(parsed.options.settings.kinds,
            (std::vector<FaultKind>{FaultKind::kUnplug, FaultKind::kCorruptReply}));
  EXPECT_EQ(parsed.options.settings.stride, 1u);
  EXPECT_EQ(parsed.options.settings.jobs, 4);
  EXPECT_EQ(parsed.options.settings.timeout, std::chrono::seconds(9));
  EXPECT_EQ(parsed.options.settings.busyPolls, 2u);

  const auto defaults = ParseSweepOptions({});
  ASSERT_TRUE(defaults.ok);
  EXPECT_EQ(defaults.options.rows, std::vector<int>{17});
  EXPECT_EQ(defaults.options.settings.kinds.size(), 4u);
  EXPECT_EQ(defaults.options.settings.stride, 64u);
  EXPECT_EQ(defaults.options.settings.busyPolls, 0u);
}

TEST(SweepOptions, RefusesRowsKindsAndNumbersOutOfRange) {
  EXPECT_FALSE(ParseSweepOptions({"--rows", "19"}).ok);
  EXPECT_FALSE(ParseSweepOptions({"--rows", "17,x"}).ok);
  EXPECT_FALSE(ParseSweepOptions({"--kinds", "drop"}).ok);
  EXPECT_FALSE(ParseSweepOptions({"--stride", "0"}).ok);
  EXPECT_FALSE(ParseSweepOptions({"--jobs"}).ok);
  EXPECT_FALSE(ParseSweepOptions({"--verbose"}).ok);
}

}  // namespace
}  // namespace velkor::sweep
