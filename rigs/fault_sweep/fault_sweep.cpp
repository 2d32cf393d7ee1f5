// The sweep over one chip row.
#include "rigs/fault_sweep/fault_sweep.h"

#include <unistd.h>

#include <algorithm>
#include <random>
#include <utility>

#include "rigs/sim/sim_controller_chip_rows.h"
#include "rigs/fault_sweep/child_pool.h"
#include "rigs/fault_sweep/interruptions.h"
#include "rigs/fault_sweep/run_judge.h"

namespace velkor::sweep {

namespace {

// Runs the clean update in a directory of its own and checks that it is a sound baseline.
RunRecord CleanRun(const SweepSettings& settings, const SweepTarget& target,
                   const std::filesystem::path& directory,
                   std::vector<sim::TrafficRecord>* traffic) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::create_directories(directory);
  std::filesystem::current_path(directory);
  const RunRecord record = RunOnce(target, std::nullopt, settings.program, traffic);
  std::filesystem::current_path(previous);
  return record;
}

std::string CleanRunProblem(const RunRecord& record) {
  if (record.exitCode != 0 || record.stalled) {
    return "the clean run did not end cleanly";
  }
  if (!record.hasVerdict || std::string(record.verdict, record.verdictLength).rfind("Pass", 0)) {
    return "the clean run did not leave \"Pass\"";
  }
  if (record.flash != FlashContent::kImage || !ProtectionOn(record)) {
    return "the clean run left the flash without the image or the protection";
  }
  return {};
}

}  // namespace

void Tally::Add(const JudgedRun& judged) {
  ++runs;
  if (judged.defects != 0) {
    ++failed;
  }
  for (int d = 0; d < kDefectCount; ++d) {
    if (Has(judged.defects, static_cast<Defect>(d))) {
      ++defects[d];
    }
  }
  if (judged.end.kind == ChildEnd::Kind::kReported && judged.record.attached) {
    setupChanged += judged.record.setupRegistersRestored ? 0 : 1;
    deviceOpen += judged.record.deviceClosed ? 0 : 1;
    sessionsOpen += judged.record.sessionsClosed ? 0 : 1;
  }
}

std::uint32_t SweepResult::Runs() const {
  std::uint32_t total = 0;
  for (const auto& phase : cells) {
    for (const Tally& tally : phase) {
      total += tally.runs;
    }
  }
  return total;
}

std::uint32_t SweepResult::Failed() const {
  std::uint32_t total = 0;
  for (const auto& phase : cells) {
    for (const Tally& tally : phase) {
      total += tally.failed;
    }
  }
  return total;
}

SweepResult RunSweep(const SweepSettings& settings) {
  const auto started = std::chrono::steady_clock::now();
  SweepResult result;
  result.chipRow = settings.chipRow;
  result.kinds = settings.kinds;
  result.recoveryJudged = settings.rerun.attached || settings.rerun.replugged;
  std::filesystem::path scratch = settings.scratch;
  if (scratch.empty()) {
    scratch = std::filesystem::temp_directory_path() /
              ("velkor-fault-sweep-" + std::to_string(::getpid()) + "-" +
               std::to_string(std::random_device{}()));
  }

  SweepTarget target = MakeTarget(settings.chipRow);
  target.busyPolls = settings.busyPolls;
  std::vector<sim::TrafficRecord> traffic;
  const RunRecord clean = CleanRun(settings, target, scratch / "clean", &traffic);
  result.cleanRunProblem = CleanRunProblem(clean);
  const std::uint16_t kindRegister =
      settings.chipRow >= 0 && settings.chipRow < sim::kSimChipRowCount
          ? sim::kSimChipRows[settings.chipRow].flashKindRegister
          : 0;
  result.requests = MapPhases(traffic, kindRegister);
  traffic = {};
  if (!result.cleanRunProblem.empty()) {
    std::filesystem::remove_all(scratch);
    return result;
  }
  const std::string passVerdict(clean.verdict, clean.verdictLength);

  const std::vector<PlannedRun> plan =
      settings.doubles > 0 ? PlanDoubles(result.requests, settings.kinds, settings.doubles,
                                         settings.draws.seed, settings.first, settings.last)
                           : PlanRuns(result.requests, settings.kinds, settings.stride,
                                      settings.first, settings.last, settings.draws);
  result.planned = plan.size();
  if (settings.planOnly) {
    std::filesystem::remove_all(scratch);
    return result;
  }
  {
    ChildPool pool(
        settings.jobs, settings.timeout, scratch,
        [&](std::uint64_t tag, const ChildEnd& end, const RunRecord& record) {
          const FaultKind kind = plan[tag].kind;
          JudgedRun judged{plan[tag], end, record,
                           IsInterruption(kind) ? JudgeInterrupted(kind, end, record, passVerdict)
                                                : Judge(end, record, passVerdict)};
          if (result.recoveryJudged && end.kind == ChildEnd::Kind::kReported) {
            const PlannedRun& run = judged.run;
            // A killed program cannot restore anything: what it leaves is the second run's to
            // mend, as with an unplug.
            const bool unplug = run.kind == FaultKind::kUnplug || run.kind == FaultKind::kKill ||
                                (run.second && run.second->kind == FaultKind::kUnplug);
            judged.defects |= JudgeRecovery(record, passVerdict, unplug);
          }
          result.cells[static_cast<int>(judged.run.phase)][static_cast<int>(judged.run.kind)].Add(
              judged);
          if (judged.defects != 0) {
            result.defective.push_back(judged);
          }
        });
    for (std::size_t i = 0; i < plan.size(); ++i) {
      const PlannedRun& run = plan[i];
      pool.Submit(i, [&] {
        std::vector<Fault> faults = {run.AsFault()};
        if (run.second) {
          faults.push_back(*run.second);
        }
        return RunFaulted(target, faults, settings.program, settings.rerun);
      });
    }
    pool.Drain();
  }
  std::sort(result.defective.begin(), result.defective.end(),
            [](const JudgedRun& a, const JudgedRun& b) {
              return std::pair(a.run.kind, a.run.index) < std::pair(b.run.kind, b.run.index);
            });
  std::filesystem::remove_all(scratch);
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return result;
}

}  // namespace velkor::sweep
