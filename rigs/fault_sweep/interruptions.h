// The sweep's interruption kinds: the window closed, SIGTERM, or a kill at a chosen request, and
// the judge of what such a run leaves. A close or termination inside the flash window must be
// held until the update ends; a kill cannot be, and must leave "Fail" behind.
#pragma once

#include <string>

#include "rigs/fault_sweep/sweep_types.h"
#include "rigs/headless/headless_backend.h"
#include "rigs/sim/sim_world.h"

namespace velkor::sweep {

bool IsInterruption(FaultKind kind);

// Arms the interruption on the camera's request `index` (counted as the world counts them):
// close and terminate deliver their request to the dialog before that request returns; kill
// saves the camera's state to killStatePath and kills the process. One at a time per process.
// Disarm before the world or the backend goes.
void ArmInterruption(sim::SimWorld& world, HeadlessBackend& backend, FaultKind kind,
                     std::uint32_t index, const std::string& killStatePath);
void DisarmInterruption(sim::SimWorld& world);

// The defects of a run with an interruption kind (in place of Judge).
DefectSet JudgeInterrupted(FaultKind kind, const ChildEnd& end, const RunRecord& record,
                           const std::string& passVerdict);

}  // namespace velkor::sweep
