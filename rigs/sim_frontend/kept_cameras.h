// The files that keep the cameras of a multi-camera run from one run to the next (each camera's
// --camera-state or --flash-file, given through --on-camera). A camera's file is saved only when
// its flash (content or status) changed in this run: a camera that this process only looked at
// is left to the process that wrote it, such as a station's child for that camera.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/process.h"
#include "rigs/sim/sim_world.h"
#include "rigs/sim_frontend/sim_options.h"

namespace velkor::sim {

class KeptCameras {
 public:
  using FlashSaver = std::function<bool(
      const std::string& path, const std::vector<std::uint8_t>& bytes, std::string* error)>;
  KeptCameras(const SimWorld& world, FlashSaver saveFlash)
      : world_(world), saveFlash_(std::move(saveFlash)) {}

  // Keeps the camera of capture device `device` in options.cameraStatePath or flashFile (one of
  // them or neither), as it is now: call after its state was loaded.
  void Add(int device, const SimFrontendOptions& options, const std::string& flashFile);
  // Saves every kept camera whose flash changed since Add or the last save. False with the
  // failures, one a line, when a file could not be written.
  bool SaveChanged(std::string* error);

 private:
  struct Kept {
    int device = 0;
    SimFrontendOptions options;
    std::string flashFile;
    SimFlashState saved;
  };
  const SimWorld& world_;
  FlashSaver saveFlash_;
  std::vector<Kept> kept_;
};

// A Process that saves the kept cameras before the process ends, however it ends through the
// Process port. A failed save is reported on stderr under the program's name.
class KeptCamerasProcess : public Process {
 public:
  KeptCamerasProcess(Process& inner, KeptCameras& kept, std::string program)
      : inner_(inner), kept_(kept), program_(std::move(program)) {}
  [[noreturn]] void Exit(int code) override;

 private:
  Process& inner_;
  KeptCameras& kept_;
  std::string program_;
};

// Every extension-unit request to capture device i takes latencyUs[i] microseconds of real time
// (0 or beyond the list: none), each camera of the world at its own pace.
void SetDeviceLatencies(SimWorld& world, std::vector<std::uint32_t> latencyUs);

}  // namespace velkor::sim
