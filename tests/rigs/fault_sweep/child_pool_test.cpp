// Child processes of the sweep: a report comes back whole, and a crash, a hang and a
// sanitizer's report are told apart.
#include "rigs/fault_sweep/child_pool.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>

namespace velkor::sweep {
namespace {

TEST(ChildPool, TellsReportsCrashesHangsAndSanitizerReportsApart) {
  const std::filesystem::path scratch =
      std::filesystem::temp_directory_path() /
      ("velkor-child-pool-" + std::to_string(std::random_device{}()));
  std::map<std::uint64_t, std::pair<ChildEnd, RunRecord>> ends;
  {
    ChildPool pool(2, std::chrono::milliseconds(500), scratch,
                   [&](std::uint64_t tag, const ChildEnd& end, const RunRecord& record) {
                     ends[tag] = {end, record};
                   });
    pool.Submit(0, [] {
      RunRecord record;
      record.exitCode = 0;
      record.status = 0x8C;
      record.verdictLength = 4;
      std::snprintf(record.verdict, sizeof record.verdict, "Fail");
      return record;
    });
    pool.Submit(1, []() -> RunRecord { std::abort(); });
    pool.Submit(2, [] {
      ::sleep(30);
      return RunRecord{};
    });
    pool.Submit(3, [] {
      std::fputs("app.cpp:12:3: runtime error: signed integer overflow\n", stderr);
      std::fflush(stderr);
      return RunRecord{};
    });
    pool.Submit(4, []() -> RunRecord { ::_exit(7); });
    pool.Drain();
  }
  std::filesystem::remove_all(scratch);

  ASSERT_EQ(ends.size(), 5u);
  EXPECT_EQ(ends[0].first.kind, ChildEnd::Kind::kReported);
  EXPECT_EQ(ends[0].second.status, 0x8C);
  EXPECT_EQ(std::string(ends[0].second.verdict, ends[0].second.verdictLength), "Fail");
  EXPECT_FALSE(ends[0].first.sanitizerReport);
  EXPECT_EQ(ends[1].first.kind, ChildEnd::Kind::kSignal);
  EXPECT_EQ(ends[1].first.signal, SIGABRT);
  EXPECT_EQ(ends[2].first.kind, ChildEnd::Kind::kTimeout);
  EXPECT_EQ(ends[3].first.kind, ChildEnd::Kind::kReported);
  EXPECT_TRUE(ends[3].first.sanitizerReport) << "stderr goes to a fresh file per run";
  EXPECT_EQ(ends[4].first.kind, ChildEnd::Kind::kNoReport);
  EXPECT_FALSE(ends[4].first.sanitizerReport) << "the slot's earlier stderr was not kept";
}

}  // namespace
}  // namespace velkor::sweep
