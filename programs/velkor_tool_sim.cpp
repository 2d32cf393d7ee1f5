// velkor-tool-sim: the service tool against the simulated camera. The simulator's options (those
// of velkor-update-sim) come before the subcommand, with two of this program's own:
// --request-latency-us N gives every extension-unit request a fixed duration, and
// --flash-file FILE keeps the simulated flash in a file from one run to the next. --cameras N
// presents several cameras, --on-camera K gives one of them its own options, and the hidden
// --camera-number K plays camera K alone: the run a station starts for that camera.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/linux/flock_camera_lock.h"
#include "platform/linux/own_executable.h"
#include "platform/linux/posix_child_process.h"
#include "platform/linux/process_exit.h"
#include "platform/linux/real_clock.h"
#include "platform/ports.h"
#include "rigs/sim_frontend/camera_state_file.h"
#include "rigs/sim_frontend/paced_clock.h"
#include "rigs/sim_frontend/sim_options.h"
#include "rigs/sim_frontend/kept_cameras.h"
#include "rigs/sim_frontend/sim_world_builder.h"
#include "rigs/sim_frontend/tool_sim_arguments.h"
#include "rigs/sim_frontend/stream_diagnostics.h"
#include "service/exit_codes.h"
#include "service/image_file.h"
#include "service/posix/posix_interrupt.h"
#include "service/tool_main.h"
#include "service/tool_options.h"

namespace {

constexpr char kProgram[] = "velkor-tool-sim";

constexpr char kSimUsage[] =
    "\n"
    "Simulator options (before the subcommand): every option of velkor-update-sim (see its\n"
    "--help: --chip-row, --wp-pin, --fail-request, --unplug-after, --corrupt-readback, --fast,\n"
    "...), and:\n"
    "  --request-latency-us N   every extension-unit request takes N microseconds\n"
    "  --flash-file FILE        the simulated flash starts with FILE's 65,536 bytes (when it\n"
    "                           exists) and is saved back to it at the end of the run\n"
    "  (--camera-state FILE keeps the whole camera, flash, status and registers, instead)\n"
    "  --cameras N              present N cameras, 1..24 (default 1), each on its own USB port\n"
    "                           (list shows each with its device path); every option above\n"
    "                           applies to each camera alike\n"
    "  --on-camera K 'OPTIONS'  camera K (1..N) also gets OPTIONS, e.g. --on-camera 2\n"
    "                           '--fail-request 9400' or --on-camera 3 '--chip-row 0';\n"
    "                           repeatable. OPTIONS is one argument split at whitespace (no\n"
    "                           quoting inside it). Options of the whole run (--fast,\n"
    "                           --diagnostics, the tool's own) are refused there. With N > 1,\n"
    "                           --camera-state and --flash-file are given per camera this\n"
    "                           way; such a file is saved only when its camera's flash changed\n"
    "                           in the run, so that a run that only looked leaves it alone\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace velkor;

  sim::ToolSimArguments arguments =
      sim::ReadToolSimArguments(std::vector<std::string>(argv + 1, argv + argc),
                                {tool::IsCommandName, tool::ToolOptionArity});
  if (!arguments.error.empty()) {
    std::fprintf(stderr, "%s: %s\n", kProgram, arguments.error.c_str());
    return tool::kExitUsage;
  }
  for (sim::ToolSimCamera& camera : arguments.cameras) {
    const std::string& flashFile = camera.flashFile;
    if (!flashFile.empty() && ::access(flashFile.c_str(), F_OK) == 0) {
      std::string error;
      if (!tool::LoadImageFile(flashFile, &camera.options.camera.initialFlash, &error)) {
        std::fprintf(stderr, "%s: --flash-file %s\n", kProgram, error.c_str());
        return tool::kExitUsage;
      }
    }
  }
  // One camera is kept and paced as it always was; a machine of several keeps each camera's
  // files apart and paces each camera on its own.
  const bool oneCamera = arguments.cameras.size() == 1;
  const sim::ToolSimCamera& first = arguments.cameras.front();
  const sim::SimFrontendOptions& options = first.options;
  std::vector<sim::PlacedSimCamera> placed;
  for (const sim::ToolSimCamera& camera : arguments.cameras) {
    placed.push_back({camera.path, camera.options});
  }

  RealClock realClock;
  std::unique_ptr<sim::SimWorld> world =
      oneCamera && !arguments.child ? sim::BuildSimWorld(options) : sim::BuildSimWorld(placed);
  world->SetTrafficLogging(false);
  for (std::size_t i = 0; i < arguments.cameras.size(); ++i) {
    const int device = sim::kSimCameraDevice + static_cast<int>(i);
    if (std::string error;
        !sim::LoadCameraState(*world, arguments.cameras[i].options, &error, device)) {
      std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
      return tool::kExitUsage;
    }
  }
  sim::KeptCameras kept(*world, tool::SaveFileAtomically);
  std::vector<std::uint32_t> latencies(static_cast<std::size_t>(sim::kSimCameraDevice), 0);
  for (std::size_t i = 0; i < arguments.cameras.size() && !oneCamera; ++i) {
    const sim::ToolSimCamera& camera = arguments.cameras[i];
    kept.Add(sim::kSimCameraDevice + static_cast<int>(i), camera.options, camera.flashFile);
    latencies.push_back(camera.latencyUs);
  }
  if (!oneCamera) {
    sim::SetDeviceLatencies(*world, std::move(latencies));
  }

  sim::PacedClock clock(realClock, world->clock(), !options.fast);
  sim::PacedDeviceTree deviceTree(*world, clock);
  sim::StreamDiagnostics diagnostics(stderr);
  ProcessExit exitProcess;
  // An interrupt ends the tool through the Process port too: the state is saved on that path.
  sim::StateSavingProcess oneCameraProcess(exitProcess, *world, options, kProgram);
  sim::KeptCamerasProcess camerasProcess(exitProcess, kept, kProgram);

  Ports ports;
  ports.captureSystem = world.get();
  ports.deviceTree = &deviceTree;
  ports.clock = &clock;
  ports.process = oneCamera ? static_cast<Process*>(&oneCameraProcess) : &camerasProcess;
  ports.diagnostics = options.diagnostics ? &diagnostics : nullptr;
  // A camera kept in a state file is locked beside the file, as velkor-update-sim locks it.
  const std::string& statePath = options.cameraStatePath;
  linux_platform::FlockCameraLock cameraLock(
      kProgram,
      {statePath.empty() ? "" : std::filesystem::absolute(statePath).parent_path().string()});
  if (oneCamera && !statePath.empty()) {
    ports.cameraLock = &cameraLock;
  }
  InstallPorts(ports);
  tool::InstallPosixInterruptHandlers();

  tool::ToolEnvironment environment;
  environment.program = kProgram;
  environment.extraUsage = kSimUsage;
  environment.stdoutIsTerminal = ::isatty(STDOUT_FILENO) != 0;
  environment.requestLatencyUs = oneCamera ? first.latencyUs : 0;
  // The station updates each camera with this program again, playing that camera alone.
  linux_platform::PosixChildLauncher launcher;
  environment.childLauncher = &launcher;
  environment.childCommand = [&arguments,
                              self = linux_platform::OwnExecutablePath()](const std::string& port) {
    return sim::ChildCommandLine(arguments, self, port);
  };
  environment.hostName = linux_platform::HostName();
  int code = tool::RunTool(arguments.tool, environment);

  if (!oneCamera) {
    if (std::string error; !kept.SaveChanged(&error)) {
      std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
      code = code == tool::kExitDone ? tool::kExitUsage : code;
    }
    return code;
  }
  if (std::string error; !sim::SaveCameraState(*world, options, &error)) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    code = code == tool::kExitDone ? tool::kExitUsage : code;
  }
  if (!first.flashFile.empty()) {
    const auto& cells = world->device(sim::kSimCameraDevice).camera->flash().content();
    std::string error;
    if (!tool::SaveFileAtomically(first.flashFile,
                                  std::vector<std::uint8_t>(cells.begin(), cells.end()), &error)) {
      std::fprintf(stderr, "%s: --flash-file %s\n", kProgram, error.c_str());
      code = code == tool::kExitDone ? tool::kExitUsage : code;
    }
  }
  return code;
}
