// VelkorUpdateSim.exe: the updater's dialog and timings against a simulated camera, for
// rehearsing scripts on Windows. Options choose the camera and a fault (see --help); the
// verdict is left in .\Result.log as the updater leaves it.
#include <cstdio>
#include <string>
#include <vector>

#include "app/velkor_app.h"
#include "platform/ports.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_dialog_backend.h"
#include "platform/win32/win32_process.h"
#include "tools/sim_frontend/image_file_resources.h"
#include "tools/sim_frontend/paced_clock.h"
#include "tools/sim_frontend/sim_options.h"
#include "tools/sim_frontend/sim_world_builder.h"
#include "tools/sim_frontend/stream_diagnostics.h"

namespace {

constexpr const char* kProgram = "VelkorUpdateSim";
constexpr int kExitBadOptions = 2;
// The traffic log is for tests; a long run with a stuck flag would otherwise fill memory.
constexpr std::size_t kTrafficLogLimit = 100000;

}  // namespace

int main(int argc, char** argv) {
  using namespace velkor;

  const sim::SimOptionsResult parsed =
      sim::ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.ok) {
    std::fprintf(stderr, "%s: %s\n", kProgram, parsed.error.c_str());
    return kExitBadOptions;
  }
  const sim::SimFrontendOptions& options = parsed.options;
  if (options.help) {
    std::fputs(sim::SimOptionsUsage(kProgram).c_str(), stdout);
    return 0;
  }
  std::vector<std::uint8_t> image;
  if (!options.imagePath.empty()) {
    std::string error;
    if (!sim::LoadImageFile(options.imagePath, &image, &error)) {
      std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
      return kExitBadOptions;
    }
  }

  auto world = sim::BuildSimWorld(options);
  // Real sleeps that also move the simulated world's clock, so that the camera's attach time
  // and the flash's erase times pass with the updater's own waits.
  win32::Win32Clock realClock;
  sim::PacedClock clock(realClock, world->clock(), !options.fast);
  sim::SimWorld* worldPtr = world.get();
  clock.SetAfterSleep([worldPtr] {
    if (worldPtr->traffic().size() > kTrafficLogLimit) {
      worldPtr->ClearTraffic();
    }
  });
  sim::PacedDeviceTree deviceTree(*world, clock);

  win32::Win32Process process;
  win32::Win32ModuleResources embeddedImage;
  sim::ImageFileResources fileImage(std::move(image));
  sim::StreamDiagnostics diagnostics(stderr);
  win32::Win32DialogBackend backend;

  Ports ports;
  ports.captureSystem = world.get();
  ports.deviceTree = &deviceTree;
  ports.clock = &clock;
  ports.process = &process;
  ports.resources = options.imagePath.empty() ? static_cast<ModuleResources*>(&embeddedImage)
                                              : static_cast<ModuleResources*>(&fileImage);
  ports.diagnostics = options.diagnostics ? &diagnostics : nullptr;
  InstallPorts(ports);
  InstallDialogBackend(&backend);

  const int code = app::UpdaterMain();
  // The dialog was closed: a worker may still be using the world, so end here without
  // destroying anything.
  process.Exit(code);
}
