// What a run of the update flow tells its caller while it runs: the status line and progress
// bar of the updater's window, each step's start and end, and the moment the verdict is known.
// Every call comes from the thread that runs the flow; each has an empty default.
#pragma once

#include "update/update_record.h"

namespace velkor::update {

enum class StatusColour : std::uint8_t { kBlue, kRed };

class UpdateObserver {
 public:
  virtual ~UpdateObserver() = default;

  // The status line: its colour, then its text.
  virtual void Status(StatusColour /*colour*/, const char* /*text*/) {}
  // The progress bar's position, 0..100.
  virtual void Progress(int /*percent*/) {}
  virtual void StepStarted(Step /*step*/) {}
  // record holds what the run found so far, the step's own findings included; ok tells whether
  // the step did what it was for.
  virtual void StepFinished(Step /*step*/, bool /*ok*/, const UpdateRecord& /*record*/) {}
  // The verdict is known: failed at the failure, passed once the restore is confirmed. Called
  // once per run, before the remaining clean-up steps.
  virtual void Concluded(const UpdateRecord& /*record*/) {}
};

}  // namespace velkor::update
