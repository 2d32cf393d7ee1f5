// velkor-update-sim: the updater's application, with its own timings, run against a simulated
// camera on the machine's clock and shown as a terminal dialog. Options choose the camera and a
// fault (see --help); the verdict is left in ./Result.log as the updater leaves it.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/velkor_app.h"
#include "platform/dialog_toolkit.h"
#include "platform/linux/embedded_resources.h"
#include "platform/linux/process_exit.h"
#include "platform/linux/real_clock.h"
#include "platform/linux/terminal_dialog.h"
#include "platform/ports.h"
#include "tools/sim_frontend/image_file_resources.h"
#include "tools/sim_frontend/paced_clock.h"
#include "tools/sim_frontend/sim_options.h"
#include "tools/sim_frontend/sim_world_builder.h"
#include "tools/sim_frontend/stream_diagnostics.h"

namespace {

constexpr const char* kProgram = "velkor-update-sim";
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
  RealClock realClock;
  sim::PacedClock clock(realClock, world->clock(), !options.fast);
  sim::SimWorld* worldPtr = world.get();
  clock.SetAfterSleep([worldPtr] {
    if (worldPtr->traffic().size() > kTrafficLogLimit) {
      worldPtr->ClearTraffic();
    }
  });
  sim::PacedDeviceTree deviceTree(*world, clock);

  ProcessExit process;
  EmbeddedResources embeddedImage;
  sim::ImageFileResources fileImage(std::move(image));
  sim::StreamDiagnostics diagnostics(stderr);

  TerminalDialog dialog;
  TerminalBackend& backend = dialog.backend();
  if (dialog.drawsInPlace() && ::isatty(STDERR_FILENO) != 0) {
    diagnostics.SetLineWriter([&backend](const std::string& line) { backend.PrintAbove(line); });
  }

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
  // destroying anything, as the updater does.
  process.Exit(code);
}
