// Saving the changed cameras of a multi-camera run, and each camera's request latency.
#include "rigs/sim_frontend/kept_cameras.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "rigs/sim_frontend/camera_state_file.h"

namespace velkor::sim {
namespace {

bool SameFlash(const SimFlashState& a, const SimFlashState& b) {
  return a.cells == b.cells && a.status == b.status;
}

}  // namespace

void KeptCameras::Add(int device, const SimFrontendOptions& options, const std::string& flashFile) {
  if (options.cameraStatePath.empty() && flashFile.empty()) {
    return;
  }
  kept_.push_back({device, options, flashFile, world_.CameraState(device).flash});
}

bool KeptCameras::SaveChanged(std::string* error) {
  error->clear();
  for (Kept& kept : kept_) {
    const SimCameraState state = world_.CameraState(kept.device);
    if (SameFlash(state.flash, kept.saved)) {
      continue;
    }
    std::string failure;
    const bool saved = kept.flashFile.empty()
                           ? SaveCameraState(world_, kept.options, &failure, kept.device)
                           : saveFlash_(kept.flashFile,
                                        std::vector<std::uint8_t>(state.flash.cells.begin(),
                                                                  state.flash.cells.end()),
                                        &failure);
    if (saved) {
      kept.saved = state.flash;
    } else {
      if (!error->empty()) {
        error->push_back('\n');
      }
      if (!kept.flashFile.empty()) {
        error->append("--flash-file ");
      }
      error->append(failure);
    }
  }
  return error->empty();
}

void KeptCamerasProcess::Exit(int code) {
  if (std::string error; !kept_.SaveChanged(&error)) {
    std::fprintf(stderr, "%s: %s\n", program_.c_str(), error.c_str());
  }
  inner_.Exit(code);
  std::abort();  // Exit never returns; the compiler cannot see that through the virtual call
}

void SetDeviceLatencies(SimWorld& world, std::vector<std::uint32_t> latencyUs) {
  world.SetReplyHook([latencyUs = std::move(latencyUs)](int device, const KsPropertyNode&,
                                                        std::uint8_t*, std::uint32_t,
                                                        HResult result) {
    const std::size_t index = static_cast<std::size_t>(device);
    if (device >= 0 && index < latencyUs.size() && latencyUs[index] != 0) {
      // A spin on the steady clock, as the tool's own latency: a sleep this short overshoots.
      const auto until =
          std::chrono::steady_clock::now() + std::chrono::microseconds(latencyUs[index]);
      while (std::chrono::steady_clock::now() < until) {
      }
    }
    return result;
  });
}

}  // namespace velkor::sim
