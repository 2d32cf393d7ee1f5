// The sweep's command line.
#pragma once

#include <string>
#include <vector>

#include "rigs/fault_sweep/fault_sweep.h"

namespace velkor::sweep {

struct SweepOptions {
  std::vector<int> rows = {17};
  SweepSettings settings;  // everything but the row
  std::size_t examples = 20;
  bool phasesOnly = false;
  bool countOnly = false;
  bool help = false;
};

struct SweepOptionsResult {
  bool ok = false;
  std::string error;
  SweepOptions options;
};

SweepOptionsResult ParseSweepOptions(const std::vector<std::string>& args);
std::string SweepUsage(const char* program);

}  // namespace velkor::sweep
