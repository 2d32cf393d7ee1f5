// VelkorUpdateSim.exe: the updater's dialog and timings against a simulated camera, for
// rehearsing scripts on Windows. Options choose the camera and a fault (see --help); the
// verdict is left in .\Result.log as the updater leaves it.
#include <string>
#include <vector>

#include "app/velkor_app.h"
#include "platform/ports.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_dialog_backend.h"
#include "platform/win32/win32_process.h"
#include "rigs/sim_frontend/sim_session.h"

int main(int argc, char** argv) {
  using namespace velkor;

  win32::Win32Clock realClock;
  int exitCode = 0;
  auto session = sim::SimSession::Start(
      "VelkorUpdateSim", std::vector<std::string>(argv + 1, argv + argc), realClock, &exitCode);
  if (!session) {
    return exitCode;
  }

  win32::Win32Process process;
  win32::Win32ModuleResources embeddedImage;
  win32::Win32DialogBackend backend;
  InstallPorts(session->MakePorts(process, embeddedImage));
  InstallDialogBackend(&backend);

  const int code = app::UpdaterMain();
  // The dialog was closed: a worker may still be using the world, so end here without
  // destroying anything.
  process.Exit(code);
}
