// velkor-fault-sweep: runs the whole updater once per request index of a clean update with one
// fault each time (a failed request, S_FALSE, an unplug, one corrupted reply byte) and judges
// what each run left: verdict, flash content, protection, setup registers, open sessions.
#include <iostream>
#include <string>
#include <vector>

#include "cli/option_reader.h"
#include "rigs/fault_sweep/sweep_options.h"
#include "rigs/fault_sweep/sweep_report.h"

int main(int argc, char** argv) {
  using namespace velkor::sweep;
  const SweepOptionsResult parsed =
      ParseSweepOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.ok) {
    return velkor::cli::RefuseOptions("velkor-fault-sweep", parsed.error);
  }
  const SweepOptions& options = parsed.options;
  if (options.help) {
    std::cout << SweepUsage("velkor-fault-sweep");
    return 0;
  }
  std::uint32_t passed = 0;
  std::uint32_t failed = 0;
  bool baselineBroken = false;
  for (int row : options.rows) {
    SweepSettings settings = options.settings;
    settings.chipRow = row;
    if (options.phasesOnly) {
      settings.last = 1;  // the clean run alone would do; one run keeps the path the same
      settings.kinds = {FaultKind::kUnplug};
    }
    const SweepResult result = RunSweep(settings);
    if (options.countOnly) {
      std::cout << "chip row " << row << ": " << result.planned << " runs\n";
      passed += static_cast<std::uint32_t>(result.planned);
      continue;
    }
    if (options.phasesOnly) {
      std::cout << "chip row " << row << ": " << result.requests.size() << " requests"
                << (result.cleanRunProblem.empty() ? "" : "; " + result.cleanRunProblem) << "\n";
      PrintPhases(std::cout, result);
      continue;
    }
    PrintSweep(std::cout, result, options.examples);
    std::cout << std::endl;
    baselineBroken = baselineBroken || !result.cleanRunProblem.empty();
    failed += result.Failed();
    passed += result.Runs() - result.Failed();
  }
  if (options.phasesOnly) {
    return 0;
  }
  if (options.countOnly) {
    std::cout << passed << " runs in all\n";
    return 0;
  }
  std::cout << passed << " passed, " << failed << " failed" << std::endl;
  return failed == 0 && !baselineBroken ? 0 : 1;
}
