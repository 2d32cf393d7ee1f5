// velkor-update-sim: the updater's application, with its own timings, run against a simulated
// camera on the machine's clock and shown as a terminal dialog. Options choose the camera and a
// fault (see --help); the verdict is left in ./Result.log as the updater leaves it.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/velkor_app.h"
#include "platform/dialog_toolkit.h"
#include "platform/linux/embedded_resources.h"
#include "platform/linux/flock_camera_lock.h"
#include "platform/linux/process_exit.h"
#include "platform/linux/real_clock.h"
#include "platform/linux/terminal_dialog.h"
#include "platform/ports.h"
#include "rigs/sim_frontend/sim_session.h"

int main(int argc, char** argv) {
  using namespace velkor;

  RealClock realClock;
  int exitCode = 0;
  auto session = sim::SimSession::Start(
      "velkor-update-sim", std::vector<std::string>(argv + 1, argv + argc), realClock, &exitCode);
  if (!session) {
    return exitCode;
  }

  ProcessExit process;
  EmbeddedResources embeddedImage;
  TerminalDialog dialog;
  TerminalBackend& backend = dialog.backend();
  if (dialog.drawsInPlace() && ::isatty(STDERR_FILENO) != 0) {
    session->diagnostics().SetLineWriter(
        [&backend](const std::string& line) { backend.PrintAbove(line); });
  }

  Ports ports = session->MakePorts(process, embeddedImage);
  // A camera kept in a state file is one camera for every program that uses the file: they lock
  // it beside the file, as the real ones lock a real camera.
  const std::string& statePath = session->options().cameraStatePath;
  linux_platform::FlockCameraLock cameraLock(
      "velkor-update-sim",
      {statePath.empty() ? "" : std::filesystem::absolute(statePath).parent_path().string()});
  if (!statePath.empty()) {
    ports.cameraLock = &cameraLock;
  }
  InstallPorts(ports);
  InstallDialogBackend(&backend);

  const int code = app::UpdaterMain();
  // The dialog was closed: a worker may still be using the world, so end here without
  // destroying anything, as the updater does.
  process.Exit(code);
}
