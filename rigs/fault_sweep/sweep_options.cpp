// Parsing of the sweep's options.
#include "rigs/fault_sweep/sweep_options.h"

#include <algorithm>
#include <sstream>

#include "cli/option_reader.h"
#include "rigs/sim/sim_controller_chip_rows.h"

namespace velkor::sweep {

namespace {

using OptionRule = cli::OptionRule<SweepOptions>;

constexpr std::uint64_t kMaxCount = 100000000;

// An option whose value is a count from min to kMaxCount.
template <typename Field>
OptionRule Count(const char* name, std::uint64_t min, Field field) {
  return cli::Number<SweepOptions>(name, min, kMaxCount, field);
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  for (std::string part; std::getline(stream, part, ',');) {
    parts.push_back(part);
  }
  return parts;
}

bool ParseKind(const std::string& name, FaultKind* kind) {
  for (int k = 0; k < kFaultKindCount; ++k) {
    if (name == FaultKindName(static_cast<FaultKind>(k))) {
      *kind = static_cast<FaultKind>(k);
      return true;
    }
  }
  return false;
}

const std::vector<OptionRule>& OptionTable() {
  static const std::vector<OptionRule> rules = {
      cli::Flag("-h|--help", &SweepOptions::help),
      cli::Flag("--phases", &SweepOptions::phasesOnly),
      {"--exhaustive", false,
       [](SweepOptions& o, const std::string&) {
         o.settings.stride = 1;
         return std::string();
       }},
      {"--count", false,
       [](SweepOptions& o, const std::string&) {
         o.countOnly = true;
         o.settings.planOnly = true;
         return std::string();
       }},
      {"--rows", true,
       [](SweepOptions& o, const std::string& v) {
         o.rows.clear();
         if (v == "all") {
           for (int row = 0; row < sim::kSimChipRowCount; ++row) {
             o.rows.push_back(row);
           }
           return std::string();
         }
         for (const std::string& part : Split(v)) {
           const auto row = cli::ParseNumber(part);
           if (!row || *row >= static_cast<std::uint64_t>(sim::kSimChipRowCount)) {
             return "no chip row '" + part + "'";
           }
           o.rows.push_back(static_cast<int>(*row));
         }
         return std::string();
       }},
      {"--kinds", true,
       [](SweepOptions& o, const std::string& v) {
         o.settings.kinds.clear();
         if (v == "all") {
           for (int k = 0; k < kFaultKindCount; ++k) {
             o.settings.kinds.push_back(static_cast<FaultKind>(k));
           }
           return std::string();
         }
         for (const std::string& part : Split(v)) {
           FaultKind kind;
           if (!ParseKind(part, &kind)) {
             return "no fault kind '" + part + "'";
           }
           o.settings.kinds.push_back(kind);
         }
         return std::string();
       }},
      Count("--stride", 1, [](SweepOptions& o) { return &o.settings.stride; }),
      Count("--first", 1, [](SweepOptions& o) { return &o.settings.first; }),
      Count("--last", 0, [](SweepOptions& o) { return &o.settings.last; }),
      Count("--jobs", 1, [](SweepOptions& o) { return &o.settings.jobs; }),
      {"--timeout", true,
       [](SweepOptions& o, const std::string& v) {
         std::uint32_t seconds = 0;
         auto error = cli::ReadRanged("--timeout", v, 1, kMaxCount, &seconds);
         if (error.empty()) {
           o.settings.timeout = std::chrono::seconds(seconds);
         }
         return error;
       }},
      Count("--examples", 0, [](SweepOptions& o) { return &o.examples; }),
      Count("--busy-polls", 0, [](SweepOptions& o) { return &o.settings.busyPolls; }),
      {"--rerun", true,
       [](SweepOptions& o, const std::string& v) {
         if (v != "attached" && v != "replugged" && v != "both") {
           return "--rerun: expected attached, replugged or both, got '" + v + "'";
         }
         o.settings.rerun.attached = v != "replugged";
         o.settings.rerun.replugged = v != "attached";
         return std::string();
       }},
      {"--short-stride", true,
       [](SweepOptions& o, const std::string& v) {
         std::uint32_t stride = 0;
         auto error = cli::ReadRanged("--short-stride", v, 0, kMaxCount, &stride);
         if (error.empty()) {
           o.settings.draws.shortStride = std::max<std::uint32_t>(stride, 1);
         }
         return error;
       }},
      Count("--garbles", 0, [](SweepOptions& o) { return &o.settings.draws.garbles; }),
      Count("--slow-draws", 0, [](SweepOptions& o) { return &o.settings.draws.slowDraws; }),
      Count("--double", 0, [](SweepOptions& o) { return &o.settings.doubles; }),
      Count("--seed", 0, [](SweepOptions& o) { return &o.settings.draws.seed; }),
  };
  return rules;
}

}  // namespace

std::string SweepUsage(const char* program) {
  return std::string("usage: ") + program +
         " [options]\n"
         "Runs the whole updater once per request index of a clean update against a simulated\n"
         "write-protected camera, with one fault each time, and judges what each run left.\n"
         "  --rows LIST      chip rows, comma-separated, or 'all' (default 17)\n"
         "  --kinds LIST     fault kinds: fail,s_false,unplug,corrupt (the default four),\n"
         "                   done_fail,burst2,burst8,burst16,garble,slow_flash, or 'all';\n"
         "                   close,terminate,kill end the program at the index (the window\n"
         "                   closed, SIGTERM, SIGKILL)\n"
         "  --stride N       every N-th index inside the write, read-back and erase-poll runs\n"
         "                   (default 64; every index elsewhere)\n"
         "  --exhaustive     every index everywhere (--stride 1)\n"
         "  --first N        sweep indices from N on (default 1)\n"
         "  --last N         ...up to N (default: the last request of the clean update)\n"
         "  --jobs N         runs at once, one child process each (default 2)\n"
         "  --timeout S      seconds before a run counts as hung (default 60)\n"
         "  --examples N     failed runs to describe per row (default 20)\n"
         "  --phases         print the clean update's phases and exit\n"
         "  --count          print how many runs the sweep would make and exit\n"
         "  --busy-polls N   polls of the done flag that read busy before each byte (0)\n"
         "  --rerun FORM     after each faulted run, a fault-free run from what it left: with\n"
         "                   the camera 'attached' (registers as left), 'replugged' (registers\n"
         "                   at power-on, a busy flash finished) or 'both'; judges the\n"
         "                   recovery classes (unrecoverable, firmware lost) too\n"
         "  --short-stride N every N-th index outside the long phases too, their ends kept\n"
         "                   (default 1: every index)\n"
         "  --garbles N      garbled replies per GET index, seeded (default 1)\n"
         "  --slow-draws N   slow-flash runs, seeded (default 16)\n"
         "  --double N       N seeded runs of two faults each (index and kind drawn) instead\n"
         "  --seed S         the seed of every draw (default 1)\n"
         "Ends with the line 'N passed, M failed'; exit code 1 when a run failed.\n";
}

SweepOptionsResult ParseSweepOptions(const std::vector<std::string>& args) {
  SweepOptionsResult result;
  SweepOptions& options = result.options;
  result.error = cli::ReadOptions(args, OptionTable(), options).error;
  if (!result.error.empty()) {
    return result;
  }
  if (options.rows.empty() || options.settings.kinds.empty()) {
    result.error = "nothing to sweep";
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace velkor::sweep
