// --camera-state for the simulator front ends: the camera starts from the state file when it
// exists, and the state is saved back when the program ends, however it ends through the
// Process port.
#pragma once

#include <string>

#include "platform/process.h"
#include "rigs/sim/sim_world.h"
#include "rigs/sim_frontend/sim_options.h"

namespace velkor::sim {

// Loads options.cameraStatePath into the camera of capture device `device` when the file
// exists, replugged first when options.replugged. True when there is nothing to load.
bool LoadCameraState(SimWorld& world, const SimFrontendOptions& options, std::string* error,
                     int device = kSimCameraDevice);
// Saves that camera's state to options.cameraStatePath (nothing without one).
bool SaveCameraState(const SimWorld& world, const SimFrontendOptions& options, std::string* error,
                     int device = kSimCameraDevice);

// A Process that saves the camera's state before the process ends. A failed save is reported on
// stderr under the program's name; the exit code stays the run's own.
class StateSavingProcess : public Process {
 public:
  StateSavingProcess(Process& inner, const SimWorld& world, const SimFrontendOptions& options,
                     std::string program)
      : inner_(inner), world_(world), options_(options), program_(std::move(program)) {}
  [[noreturn]] void Exit(int code) override;

 private:
  Process& inner_;
  const SimWorld& world_;
  const SimFrontendOptions& options_;
  std::string program_;
};

}  // namespace velkor::sim
