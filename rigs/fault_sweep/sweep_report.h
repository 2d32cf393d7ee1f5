// The sweep's printed report: per chip row a table of phase x fault kind (runs/failed), the
// defect classes per fault kind, notes, and examples of failed runs.
#pragma once

#include <ostream>
#include <string>

#include "rigs/fault_sweep/fault_sweep.h"

namespace velkor::sweep {

void PrintSweep(std::ostream& out, const SweepResult& result, std::size_t examples);
// The phases of the clean run as index ranges, one line per stretch.
void PrintPhases(std::ostream& out, const SweepResult& result);
// One line describing a judged run: index, phase, kind, defects and what it left.
std::string DescribeRun(const JudgedRun& judged);

}  // namespace velkor::sweep
