// Small sweeps of the interruption kinds over the start of the erase, inside the flash window:
// a host whose close button ends the process at once (as the updater once did) must fail the
// close and terminate rule at every index, a host that writes its verdict only at the end must
// fail the kill rule, and the updater must pass all three.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/app_state.h"
#include "app/result_log.h"
#include "app/velkor_dlg.h"
#include "platform/ports.h"
#include "rigs/fault_sweep/fault_sweep.h"
#include "rigs/sim/sim_world.h"
#include "update/update_flow.h"

namespace velkor::sweep {
namespace {

// The updater's window with the close button of old: whenever the worker runs, closing ends the
// process there and then.
class HastyDialog : public app::CVelkorDlg {
 protected:
  void OnClose() override {
    if (app::WorkerThread != nullptr) {
      app::EndProcess();
    }
    CVelkorDlg::OnClose();
  }
};

int HastyUpdater() {
  app::RemoveStaleResultLog();
  HastyDialog dialog;
  dialog.DoModal();
  return 0;
}

// The update flow alone, its verdict written once it is known: nothing stands in Result.log
// while the flash is changed.
int VerdictOnlyAtTheEnd(const std::vector<std::uint8_t>& image) {
  app::RemoveStaleResultLog();
  std::u16string path(sim::kSimCameraPath);
  path.resize(256);
  update::UpdateTarget target;
  target.path = path.c_str();
  target.pathLength = 256;
  target.image = image;
  update::UpdateObserver silent;
  const update::UpdateRecord record =
      update::RunUpdate(target, update::UpdateOptions{}, *CurrentPorts().clock, silent);
  app::WriteResultLog(record.passed() ? app::Verdict::kPass : app::Verdict::kFail);
  return 0;
}

constexpr std::uint32_t kIndices = 6;

// The kinds at the first few indices of the erase, for the program.
SweepResult SweepEraseStart(const Program& program, std::vector<FaultKind> kinds) {
  SweepSettings settings;
  settings.chipRow = 17;
  settings.kinds = std::move(kinds);
  settings.program = program;
  settings.last = 1;  // first only the phase map
  const SweepResult mapped = RunSweep(settings);
  const auto erase = std::find_if(mapped.requests.begin(), mapped.requests.end(),
                                  [](const RequestInfo& r) { return r.phase == Phase::kErase; });
  settings.first = static_cast<std::uint32_t>(erase - mapped.requests.begin()) + 1;
  settings.last = settings.first + kIndices - 1;
  return RunSweep(settings);
}

std::uint32_t Count(const SweepResult& result, FaultKind kind, Defect defect) {
  return result.cells[static_cast<int>(Phase::kErase)][static_cast<int>(kind)]
      .defects[static_cast<int>(defect)];
}

TEST(InterruptionPlantedDefect, CloseThatEndsAtOnceFailsTheCloseAndTerminateRules) {
  const SweepResult result =
      SweepEraseStart(HastyUpdater, {FaultKind::kClose, FaultKind::kTerminate});
  ASSERT_EQ(result.cleanRunProblem, "");
  EXPECT_EQ(result.Runs(), 2 * kIndices);
  EXPECT_EQ(Count(result, FaultKind::kClose, Defect::kInterruptNotHeld), kIndices);
  EXPECT_EQ(Count(result, FaultKind::kTerminate, Defect::kInterruptNotHeld), kIndices);
}

TEST(InterruptionPlantedDefect, VerdictWrittenOnlyAtTheEndFailsTheKillRule) {
  const std::vector<std::uint8_t> image = MakeTarget(17).image;
  const SweepResult result =
      SweepEraseStart([image] { return VerdictOnlyAtTheEnd(image); }, {FaultKind::kKill});
  ASSERT_EQ(result.cleanRunProblem, "");
  EXPECT_EQ(result.Runs(), kIndices);
  EXPECT_EQ(Count(result, FaultKind::kKill, Defect::kKillVerdict), kIndices);
}

TEST(InterruptionPlantedDefect, UpdaterPassesEveryInterruptionRule) {
  const SweepResult result = SweepEraseStart(
      UpdaterProgram(), {FaultKind::kClose, FaultKind::kTerminate, FaultKind::kKill});
  ASSERT_EQ(result.cleanRunProblem, "");
  EXPECT_EQ(result.Runs(), 3 * kIndices);
  EXPECT_EQ(result.Failed(), 0u);
}

}  // namespace
}  // namespace velkor::sweep
