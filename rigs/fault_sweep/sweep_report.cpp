// Formatting of the sweep's report.
#include "rigs/fault_sweep/sweep_report.h"

#include <algorithm>
#include <cstdio>
#include <vector>
#include <map>
#include <tuple>
#include <utility>
#include <string>

namespace velkor::sweep {

namespace {

std::string Format(const char* format, auto... args) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

std::string Printable(const RunRecord& record) {
  if (!record.hasVerdict) {
    return "none";
  }
  std::string text = "\"";
  for (std::uint8_t i = 0; i < record.verdictLength; ++i) {
    const char c = record.verdict[i];
    text += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return text + "\"";
}

std::string FaultText(FaultKind kind, std::uint32_t index, std::uint8_t mask, std::uint32_t eraseMs,
                      std::uint32_t statusWriteMs) {
  switch (kind) {
    case FaultKind::kSlowFlash:
      return Format("slow_flash (erase %u ms, status write %u ms)", eraseMs, statusWriteMs);
    case FaultKind::kGarble:
      return Format("#%u garble 0x%02X", index, mask);
    default:
      return Format("#%u %s", index, FaultKindName(kind));
  }
}

std::string RerunText(const char* form, const RerunRecord& rerun) {
  if (!rerun.ran) {
    return "";
  }
  RunRecord shown;
  shown.hasVerdict = rerun.hasVerdict;
  shown.verdictLength = rerun.verdictLength;
  std::copy_n(rerun.verdict, sizeof shown.verdict, shown.verdict);
  return Format("; then %s: ", form) + Printable(shown) + ", flash " +
         FlashContentName(rerun.flash) +
         Format(", status 0x%02X, WP# %s", rerun.status, rerun.writeProtectLow ? "low" : "high");
}

std::string EndText(const ChildEnd& end) {
  switch (end.kind) {
    case ChildEnd::Kind::kReported:
      return "";
    case ChildEnd::Kind::kSignal:
      return Format(" killed by signal %d", end.signal);
    case ChildEnd::Kind::kTimeout:
      return " timed out";
    case ChildEnd::Kind::kNoReport:
      return " ended without a report";
  }
  return "";
}

}  // namespace

std::string DescribeRun(const JudgedRun& judged) {
  std::string defects;
  for (int d = 0; d < kDefectCount; ++d) {
    if (Has(judged.defects, static_cast<Defect>(d))) {
      defects += (defects.empty() ? "" : ", ") + std::string(DefectName(static_cast<Defect>(d)));
    }
  }
  const PlannedRun& run = judged.run;
  std::string text = FaultText(run.kind, run.index, run.mask, run.eraseMs, run.statusWriteMs) +
                     " " + PhaseName(run.phase);
  if (run.second) {
    const Fault& b = *run.second;
    text += " + " + FaultText(b.kind, b.index, b.mask, b.eraseMs, b.statusWriteMs);
  }
  text += ": " + (defects.empty() ? std::string("sound") : defects) + EndText(judged.end);
  if (judged.end.kind == ChildEnd::Kind::kReported) {
    const RunRecord& r = judged.record;
    text += "; verdict " + Printable(r) + ", flash " + FlashContentName(r.flash) +
            Format(", status 0x%02X, WP# %s, %s", r.status, r.writeProtectLow ? "low" : "high",
                   r.attached ? "attached" : "unplugged");
    text += RerunText("attached", r.rerunAttached) + RerunText("replugged", r.rerunReplugged);
  }
  return text;
}

void PrintPhases(std::ostream& out, const SweepResult& result) {
  const auto& requests = result.requests;
  std::size_t start = 0;
  for (std::size_t i = 1; i <= requests.size(); ++i) {
    if (i == requests.size() || requests[i].phase != requests[start].phase) {
      out << Format("  %-14s %6zu-%-6zu (%zu)\n", PhaseName(requests[start].phase), start + 1, i,
                    i - start);
      start = i;
    }
  }
}

void PrintSweep(std::ostream& out, const SweepResult& result, std::size_t examples) {
  out << Format("chip row %d: %zu requests in a clean update, %u runs, %u failed, %.1f s\n",
                result.chipRow, result.requests.size(), result.Runs(), result.Failed(),
                result.seconds);
  if (!result.cleanRunProblem.empty()) {
    out << "  " << result.cleanRunProblem << "\n";
    return;
  }
  std::uint32_t perPhase[kPhaseCount] = {};
  for (const RequestInfo& request : result.requests) {
    ++perPhase[static_cast<int>(request.phase)];
  }
  // One column per kind swept, in the order given.
  std::vector<int> columns;
  for (FaultKind kind : result.kinds) {
    if (std::find(columns.begin(), columns.end(), static_cast<int>(kind)) == columns.end()) {
      columns.push_back(static_cast<int>(kind));
    }
  }
  out << Format("  %-14s %8s", "runs/failed", "requests");
  for (int k : columns) {
    out << Format(" %13s", FaultKindName(static_cast<FaultKind>(k)));
  }
  out << "\n";
  Tally byKind[kFaultKindCount];
  for (int p = 0; p < kPhaseCount; ++p) {
    out << Format("  %-14s %8u", PhaseName(static_cast<Phase>(p)), perPhase[p]);
    for (int k : columns) {
      const Tally& cell = result.cells[p][k];
      out << Format(" %13s", Format("%u/%u", cell.runs, cell.failed).c_str());
      byKind[k].runs += cell.runs;
      byKind[k].failed += cell.failed;
      for (int d = 0; d < kDefectCount; ++d) {
        byKind[k].defects[d] += cell.defects[d];
      }
      byKind[k].setupChanged += cell.setupChanged;
      byKind[k].deviceOpen += cell.deviceOpen;
      byKind[k].sessionsOpen += cell.sessionsOpen;
    }
    out << "\n";
  }
  out << Format("  %-23s", "defect class (runs)");
  for (int k : columns) {
    out << Format(" %13s", FaultKindName(static_cast<FaultKind>(k)));
  }
  out << "\n";
  auto row = [&](const char* name, auto count) {
    out << Format("  %-23s", name);
    for (int k : columns) {
      out << Format(" %13u", count(byKind[k]));
    }
    out << "\n";
  };
  const int defectRows = result.recoveryJudged ? kDefectCount : kRecoveryDefectFirst;
  for (int d = 0; d < defectRows; ++d) {
    row(DefectName(static_cast<Defect>(d)), [d](const Tally& t) { return t.defects[d]; });
  }
  row("note: setup changed", [](const Tally& t) { return t.setupChanged; });
  row("note: device open", [](const Tally& t) { return t.deviceOpen; });
  row("note: session open", [](const Tally& t) { return t.sessionsOpen; });
  // One example per fault kind, phase and set of defects, with how many runs share it.
  std::map<std::tuple<FaultKind, Phase, DefectSet>, std::pair<const JudgedRun*, std::uint32_t>>
      groups;
  for (const JudgedRun& judged : result.defective) {
    auto& group = groups[{judged.run.kind, judged.run.phase, judged.defects}];
    group.first = group.first == nullptr ? &judged : group.first;
    ++group.second;
  }
  std::size_t shown = 0;
  for (const auto& [key, group] : groups) {
    if (shown++ == examples) {
      out << "  ...\n";
      break;
    }
    out << Format("  %5u x ", group.second) << DescribeRun(*group.first) << "\n";
  }
}

}  // namespace velkor::sweep
