// The station against scripted children: cameras updated at once and isolated from each other,
// the record written before a child starts, slots, unplug and re-plug, stopping.
#include "service/station/station.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "tests/service/station/scripted_children.h"

namespace velkor::tool {
namespace {

using testing::ChildScript;
using testing::FailingChild;
using testing::MemoryStore;
using testing::PassingChild;
using testing::ScriptedLauncher;

std::vector<CameraSighting> Ports(std::initializer_list<const char*> names) {
  std::vector<CameraSighting> sightings;
  for (const char* name : names) {
    sightings.push_back({name, ""});
  }
  return sightings;
}

std::string ReadAll(std::FILE* file) {
  std::rewind(file);
  std::string text;
  char chunk[4096];
  while (std::size_t got = std::fread(chunk, 1, sizeof chunk, file)) {
    text.append(chunk, got);
  }
  return text;
}

struct StationRun {
  MemoryStore store;
  std::atomic<bool> stop{false};
  std::FILE* out = std::tmpfile();
  StationDisplay display{DisplayMode::kJson, out};
  StationSettings settings;

  StationRun() {
    settings.imagePath = "image.bin";
    settings.pollMs = 20;
    settings.once = true;
  }
  ~StationRun() { std::fclose(out); }

  StationTotals Run(ScriptedLauncher& launcher, std::function<std::vector<CameraSighting>()> find) {
    StationDependencies d{launcher,
                          [](const std::string&) { return std::vector<std::string>{"self"}; },
                          std::move(find),
                          store,
                          display,
                          stop,
                          [] { return std::string("2026-12-07T00:00:00.000Z"); }};
    return RunStation(settings, d);
  }

  const AttemptRecord* Row(const std::string& port) {
    rows = store.Rows();
    for (const AttemptRecord& row : rows) {
      if (row.start.port == port) {
        return &row;
      }
    }
    return nullptr;
  }
  std::vector<AttemptRecord> rows;
};

TEST(StationWithFourCameras, UpdatesThemAtOnceAndRecordsEachBeforeItsChildStarts) {
  StationRun run;
  ScriptedLauncher launcher({}, &run.store);
  const StationTotals totals = run.Run(launcher, [] { return Ports({"a", "b", "c", "d"}); });

  EXPECT_EQ(totals.passed, 4);
  EXPECT_EQ(StationExitCode(totals), 0);
  EXPECT_EQ(launcher.launches.mostAlive, 4);
  EXPECT_TRUE(launcher.launches.startedWithoutRecord.empty());
  const std::vector<std::string> expected = {"self",     "write", "image.bin",
                                             "--device", "c",     "--json"};
  EXPECT_NE(std::find(launcher.launches.argvs.begin(), launcher.launches.argvs.end(), expected),
            launcher.launches.argvs.end());
  const AttemptRecord* row = run.Row("c");
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->state, "done");
  ASSERT_TRUE(row->end.has_value());
  EXPECT_EQ(row->end->result, "pass");
  EXPECT_EQ(row->end->chipRow, 18);
  EXPECT_EQ(row->end->chipId, "N8ER0");
  EXPECT_EQ(row->end->requests, 25832u);
  // Every event the children wrote comes out naming its port.
  const std::string output = ReadAll(run.out);
  EXPECT_NE(output.find(R"("port":"d","progress":100,"result":"ok","step":"restore")"),
            std::string::npos);
}

TEST(StationWithOneCameraFailingOneCrashingOneHanging, PassesTheFourthUndisturbed) {
  StationRun run;
  run.settings.hangMs = 400;
  ChildScript crash = PassingChild();
  crash.lines.resize(5);  // dies mid-erase without a summary
  crash.exitCode = 128 + 11;
  ChildScript hang = PassingChild();
  hang.lines.resize(7);  // stops answering mid-write
  hang.hangAtEnd = true;
  ScriptedLauncher launcher({{"fail", FailingChild()}, {"crash", crash}, {"hang", hang}},
                            &run.store);
  const StationTotals totals = run.Run(launcher, [] {
    return Ports({"fail", "crash", "hang", "good"});
  });

  EXPECT_EQ(totals.passed, 1);
  EXPECT_EQ(totals.failed, 3);
  EXPECT_EQ(StationExitCode(totals), 1);
  EXPECT_EQ(run.Row("good")->end->result, "pass");
  // The good camera ended long before the hung one was given up on.
  EXPECT_LT(run.Row("good")->end->durationSeconds, 0.3);
  EXPECT_EQ(run.Row("fail")->end->result, "fail");
  EXPECT_EQ(run.Row("fail")->end->failedStep, "erase");
  EXPECT_EQ(run.Row("crash")->end->result, "fail");
  EXPECT_NE(run.Row("crash")->end->message.find("without a result"), std::string::npos);
  EXPECT_EQ(run.Row("crash")->end->failedStep, "erase");
  EXPECT_EQ(run.Row("hang")->end->result, "fail");
  EXPECT_NE(run.Row("hang")->end->message.find("said nothing"), std::string::npos);
  EXPECT_EQ(run.Row("hang")->end->failedStep, "write");
}

TEST(StationWithFiveCamerasAndTwoSlots, NeverRunsMoreThanTwo) {
  StationRun run;
  run.settings.slots = 2;
  ScriptedLauncher launcher({});
  const StationTotals totals = run.Run(launcher, [] { return Ports({"a", "b", "c", "d", "e"}); });
  EXPECT_EQ(totals.passed, 5);
  EXPECT_EQ(launcher.launches.mostAlive, 2);
}

TEST(StationWithACameraLeftAttached, UpdatesItAgainOnlyAfterItWasUnplugged) {
  StationRun run;
  run.settings.once = false;
  ScriptedLauncher launcher({});
  // Looks 1-30: attached; 31-40: unplugged; then attached again until the second pass.
  std::atomic<int> looks{0};
  const StationTotals totals = run.Run(launcher, [&] {
    const int look = ++looks;
    if (look > 30 && run.store.Rows().size() == 2 && run.store.Rows()[1].state == "done") {
      run.stop = true;
    }
    return look > 30 && look <= 40 ? Ports({}) : Ports({"a"});
  });
  EXPECT_EQ(launcher.launches.argvs.size(), 2u);
  EXPECT_EQ(totals.passed, 2);
}

TEST(StationAskedToStop, LetsTheRunningUpdateFinishAndTakesNoNewCamera) {
  StationRun run;
  run.settings.slots = 1;
  ScriptedLauncher launcher({{"a", PassingChild(20)}});
  std::thread stopper([&] {
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(launcher.launches.mutex);
        if (!launcher.launches.argvs.empty()) {
          break;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    run.stop = true;
  });
  const StationTotals totals = run.Run(launcher, [] { return Ports({"a", "b"}); });
  stopper.join();
  EXPECT_EQ(launcher.launches.argvs.size(), 1u);
  EXPECT_EQ(totals.passed, 1);
  EXPECT_EQ(run.Row("a")->end->result, "pass");
  EXPECT_EQ(run.Row("b"), nullptr);
}

TEST(StationWhoseRecordCannotBeWritten, TouchesNoCameraAndFails) {
  StationRun run;
  run.store.failBegin = true;
  ScriptedLauncher launcher({});
  const StationTotals totals = run.Run(launcher, [] { return Ports({"a"}); });
  EXPECT_TRUE(launcher.launches.argvs.empty());
  EXPECT_EQ(totals.failed, 1);
  EXPECT_EQ(StationExitCode(totals), 1);
}

TEST(StationWithNoCamera, EndsAtOnceWithExitCodeThree) {
  StationRun run;
  ScriptedLauncher launcher({});
  EXPECT_EQ(StationExitCode(run.Run(launcher, [] { return Ports({}); })), 3);
}

}  // namespace
}  // namespace velkor::tool
