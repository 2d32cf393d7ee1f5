// Parsing of the sweep's options.
#include "rigs/fault_sweep/sweep_options.h"

#include <charconv>
#include <sstream>

#include "rigs/sim/sim_controller_chip_rows.h"

namespace velkor::sweep {

namespace {

bool ParseNumber(const std::string& text, long min, long max, long* out) {
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < min || value > max) {
    return false;
  }
  *out = value;
  return true;
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

}  // namespace

std::string SweepUsage(const char* program) {
  return std::string("usage: ") + program +
         " [options]\n"
         "Runs the whole updater once per request index of a clean update against a simulated\n"
         "write-protected camera, with one fault each time, and judges what each run left.\n"
         "  --rows LIST      chip rows, comma-separated, or 'all' (default 17)\n"
         "  --kinds LIST     fault kinds: fail,s_false,unplug,corrupt (default all four)\n"
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
         "Ends with the line 'N passed, M failed'; exit code 1 when a run failed.\n";
}

SweepOptionsResult ParseSweepOptions(const std::vector<std::string>& args) {
  SweepOptionsResult result;
  SweepOptions& options = result.options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takesValue = arg == "--rows" || arg == "--kinds" || arg == "--stride" ||
                            arg == "--first" || arg == "--last" || arg == "--jobs" ||
                            arg == "--timeout" || arg == "--examples" || arg == "--busy-polls";
    if (takesValue && i + 1 >= args.size()) {
      result.error = arg + " needs a value";
      return result;
    }
    const std::string value = takesValue ? args[++i] : std::string();
    long number = 0;
    if (arg == "--help") {
      options.help = true;
    } else if (arg == "--exhaustive") {
      options.settings.stride = 1;
    } else if (arg == "--phases") {
      options.phasesOnly = true;
    } else if (arg == "--count") {
      options.countOnly = true;
      options.settings.planOnly = true;
    } else if (arg == "--rows") {
      options.rows.clear();
      if (value == "all") {
        for (int row = 0; row < sim::kSimChipRowCount; ++row) {
          options.rows.push_back(row);
        }
        continue;
      }
      for (const std::string& part : Split(value)) {
        if (!ParseNumber(part, 0, sim::kSimChipRowCount - 1, &number)) {
          result.error = "no chip row '" + part + "'";
          return result;
        }
        options.rows.push_back(static_cast<int>(number));
      }
    } else if (arg == "--kinds") {
      options.settings.kinds.clear();
      for (const std::string& part : Split(value)) {
        FaultKind kind;
        if (!ParseKind(part, &kind)) {
          result.error = "no fault kind '" + part + "'";
          return result;
        }
        options.settings.kinds.push_back(kind);
      }
    } else if (takesValue) {
      const long min =
          arg == "--first" || arg == "--stride" || arg == "--jobs" || arg == "--timeout" ? 1 : 0;
      if (!ParseNumber(value, min, 100000000, &number)) {
        result.error = "bad value for " + arg + ": '" + value + "'";
        return result;
      }
      const auto n = static_cast<std::uint32_t>(number);
      if (arg == "--stride") {
        options.settings.stride = n;
      } else if (arg == "--first") {
        options.settings.first = n;
      } else if (arg == "--last") {
        options.settings.last = n;
      } else if (arg == "--jobs") {
        options.settings.jobs = static_cast<int>(n);
      } else if (arg == "--timeout") {
        options.settings.timeout = std::chrono::seconds(n);
      } else if (arg == "--busy-polls") {
        options.settings.busyPolls = n;
      } else {
        options.examples = n;
      }
    } else {
      result.error = "unknown option '" + arg + "'";
      return result;
    }
  }
  if (options.rows.empty() || options.settings.kinds.empty()) {
    result.error = "nothing to sweep";
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace velkor::sweep
