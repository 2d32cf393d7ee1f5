// Start-up shared by the simulator front ends.
#include "rigs/sim_frontend/sim_session.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "rigs/sim_frontend/camera_state_file.h"
#include "rigs/sim_frontend/sim_world_builder.h"

namespace velkor::sim {
namespace {
constexpr int kExitBadOptions = 2;
}

std::unique_ptr<SimSession> SimSession::Start(const char* program,
                                              const std::vector<std::string>& args,
                                              Clock& realClock, int* exitCode) {
  const SimOptionsResult parsed = ParseSimOptions(args);
  if (!parsed.ok) {
    std::fprintf(stderr, "%s: %s\n", program, parsed.error.c_str());
    *exitCode = kExitBadOptions;
    return nullptr;
  }
  if (parsed.options.help) {
    std::fputs(SimOptionsUsage(program).c_str(), stdout);
    *exitCode = 0;
    return nullptr;
  }
  std::vector<std::uint8_t> image;
  if (!parsed.options.imagePath.empty()) {
    std::string error;
    if (!LoadImageFile(parsed.options.imagePath, &image, &error)) {
      std::fprintf(stderr, "%s: %s\n", program, error.c_str());
      *exitCode = kExitBadOptions;
      return nullptr;
    }
  }
  auto session =
      std::unique_ptr<SimSession>(new SimSession(parsed.options, std::move(image), realClock));
  std::string error;
  if (!LoadCameraState(*session->world_, session->options_, &error)) {
    std::fprintf(stderr, "%s: %s\n", program, error.c_str());
    *exitCode = kExitBadOptions;
    return nullptr;
  }
  session->program_ = program;
  *exitCode = 0;
  return session;
}

SimSession::SimSession(SimFrontendOptions options, std::vector<std::uint8_t> image,
                       Clock& realClock)
    : options_(std::move(options)),
      world_(BuildSimWorld(options_)),
      // Real sleeps that also move the world's clock, so that the camera's attach time and the
      // flash's erase and status-write times pass with the updater's own waits.
      clock_(realClock, world_->clock(), !options_.fast),
      deviceTree_(*world_, clock_),
      imageFile_(std::move(image)),
      diagnostics_(stderr) {
  // Nobody reads the request log here, and a long run with a stuck flag would fill memory.
  world_->SetTrafficLogging(false);
  if (const std::uint32_t latencyUs = options_.requestLatencyUs; latencyUs != 0) {
    // A spin on the steady clock, as the service tool's latency: a sleep this short overshoots.
    world_->SetReplyHook([latencyUs](int, const KsPropertyNode&, std::uint8_t*, std::uint32_t,
                                     HResult result) {
      const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(latencyUs);
      while (std::chrono::steady_clock::now() < until) {
      }
      return result;
    });
  }
}

Ports SimSession::MakePorts(Process& process, ModuleResources& embeddedImage) {
  stateSaving_ = std::make_unique<StateSavingProcess>(process, *world_, options_, program_);
  Ports ports;
  ports.captureSystem = world_.get();
  ports.deviceTree = &deviceTree_;
  ports.clock = &clock_;
  // With --camera-state the camera's state is saved on the way out, however the program ends.
  ports.process = options_.cameraStatePath.empty() ? &process : stateSaving_.get();
  ports.resources =
      options_.imagePath.empty() ? &embeddedImage : static_cast<ModuleResources*>(&imageFile_);
  ports.diagnostics = options_.diagnostics ? &diagnostics_ : nullptr;
  return ports;
}

}  // namespace velkor::sim
