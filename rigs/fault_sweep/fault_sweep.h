// A fault sweep over one chip row: a clean run that counts the requests and maps them to
// phases, then one child process per planned run, each judged as it ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "rigs/fault_sweep/phase_map.h"
#include "rigs/fault_sweep/sweep_plan.h"
#include "rigs/fault_sweep/sweep_types.h"
#include "rigs/fault_sweep/sweep_world.h"

namespace velkor::sweep {

struct SweepSettings {
  int chipRow = 17;
  std::vector<FaultKind> kinds = {FaultKind::kFailedRequest, FaultKind::kSFalse, FaultKind::kUnplug,
                                  FaultKind::kCorruptReply};
  std::uint32_t stride = 64;  // inside the long phases; 1: every index
  std::uint32_t first = 1;    // the index range swept (last 0: to the end)
  std::uint32_t last = 0;
  int jobs = 2;
  std::chrono::milliseconds timeout{60000};
  Program program = UpdaterProgram();
  std::filesystem::path scratch;  // empty: a fresh directory under the system's temporary one
  bool planOnly = false;          // plan the runs (SweepResult::planned) without making them
  // Polls of the flash interface's done flag that read busy before each byte is through (0: the
  // byte is through at once, as the byte-exact phase map expects).
  std::uint32_t busyPolls = 0;
  // Second runs after each faulted one; with either, the recovery defects are judged too.
  Rerun rerun;
  PlanDraws draws;            // seed, garbles per index, slow-flash draws
  std::uint32_t doubles = 0;  // >0: this many seeded double-fault runs instead of the sweep
};

struct JudgedRun {
  PlannedRun run;
  ChildEnd end;
  RunRecord record;
  DefectSet defects = 0;
};

struct Tally {
  std::uint32_t runs = 0;
  std::uint32_t failed = 0;
  std::uint32_t defects[kDefectCount] = {};
  // Runs that left the camera attached with the setup registers changed, the device or a
  // capture session open: reported, not failed (the protection and the verdict decide).
  std::uint32_t setupChanged = 0;
  std::uint32_t deviceOpen = 0;
  std::uint32_t sessionsOpen = 0;
  void Add(const JudgedRun& judged);
};

struct SweepResult {
  int chipRow = 0;
  std::vector<FaultKind> kinds;  // the kinds swept, in the report's column order
  bool recoveryJudged = false;   // the --rerun defects were judged
  std::string cleanRunProblem;   // empty when the clean run passed with the image and protection
  std::vector<RequestInfo> requests;
  Tally cells[kPhaseCount][kFaultKindCount];
  std::vector<JudgedRun> defective;  // by fault kind and index
  std::size_t planned = 0;
  double seconds = 0;

  std::uint32_t Runs() const;
  std::uint32_t Failed() const;
};

SweepResult RunSweep(const SweepSettings& settings);

}  // namespace velkor::sweep
