// Formatting of the sweep's report.
#include "rigs/fault_sweep/sweep_report.h"

#include <cstdio>
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
  std::string text = Format("#%u %s %s: ", judged.run.index, PhaseName(judged.run.phase),
                            FaultKindName(judged.run.kind)) +
                     (defects.empty() ? "sound" : defects) + EndText(judged.end);
  if (judged.end.kind == ChildEnd::Kind::kReported) {
    const RunRecord& r = judged.record;
    text += "; verdict " + Printable(r) + ", flash " + FlashContentName(r.flash) +
            Format(", status 0x%02X, WP# %s, %s", r.status, r.writeProtectLow ? "low" : "high",
                   r.attached ? "attached" : "unplugged");
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
  out << Format("  %-14s %8s", "runs/failed", "requests");
  for (int k = 0; k < kFaultKindCount; ++k) {
    out << Format(" %13s", FaultKindName(static_cast<FaultKind>(k)));
  }
  out << "\n";
  Tally byKind[kFaultKindCount];
  for (int p = 0; p < kPhaseCount; ++p) {
    out << Format("  %-14s %8u", PhaseName(static_cast<Phase>(p)), perPhase[p]);
    for (int k = 0; k < kFaultKindCount; ++k) {
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
  for (int k = 0; k < kFaultKindCount; ++k) {
    out << Format(" %13s", FaultKindName(static_cast<FaultKind>(k)));
  }
  out << "\n";
  auto row = [&](const char* name, auto count) {
    out << Format("  %-23s", name);
    for (int k = 0; k < kFaultKindCount; ++k) {
      out << Format(" %13u", count(byKind[k]));
    }
    out << "\n";
  };
  for (int d = 0; d < kDefectCount; ++d) {
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
