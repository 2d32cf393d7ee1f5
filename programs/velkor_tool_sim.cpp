// velkor-tool-sim: the service tool against the simulated camera. The simulator's options (those
// of velkor-update-sim) come before the subcommand, with two of this program's own:
// --request-latency-us N gives every extension-unit request a fixed duration, and
// --flash-file FILE keeps the simulated flash in a file from one run to the next.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/option_reader.h"
#include "platform/linux/flock_camera_lock.h"
#include "platform/linux/process_exit.h"
#include "platform/linux/real_clock.h"
#include "platform/ports.h"
#include "rigs/sim_frontend/camera_state_file.h"
#include "rigs/sim_frontend/paced_clock.h"
#include "rigs/sim_frontend/sim_options.h"
#include "rigs/sim_frontend/sim_world_builder.h"
#include "rigs/sim_frontend/stream_diagnostics.h"
#include "service/exit_codes.h"
#include "service/image_file.h"
#include "service/posix/posix_interrupt.h"
#include "service/tool_main.h"
#include "service/tool_options.h"

namespace {

constexpr char kProgram[] = "velkor-tool-sim";
constexpr std::uint32_t kMaxLatencyUs = 1000000;

constexpr char kSimUsage[] =
    "\n"
    "Simulator options (before the subcommand): every option of velkor-update-sim (see its\n"
    "--help: --chip-row, --wp-pin, --fail-request, --unplug-after, --corrupt-readback, --fast,\n"
    "...), and:\n"
    "  --request-latency-us N   every extension-unit request takes N microseconds\n"
    "  --flash-file FILE        the simulated flash starts with FILE's 65,536 bytes (when it\n"
    "                           exists) and is saved back to it at the end of the run\n"
    "  (--camera-state FILE keeps the whole camera, flash, status and registers, instead)\n";

struct SplitArguments {
  std::vector<std::string> sim;
  std::vector<std::string> tool;
  std::uint32_t latencyUs = 0;
  std::string flashFile;
  std::string error;
};

// Before the subcommand: this program's options, the tool's options, the simulator's options.
// From the subcommand on everything belongs to the tool.
SplitArguments Split(const std::vector<std::string>& args) {
  using velkor::cli::Took;
  const std::vector<velkor::cli::OptionRule<SplitArguments>> ownOptions = {
      {"--request-latency-us", true,
       [](SplitArguments& out, const std::string& v) {
         return velkor::cli::ReadRanged("--request-latency-us", v, 0, kMaxLatencyUs,
                                        &out.latencyUs);
       }},
      {"--flash-file", true,
       [](SplitArguments& out, const std::string& v) {
         out.flashFile = v;
         return std::string();
       }},
  };
  SplitArguments out;
  velkor::cli::TableRules<SplitArguments> own(ownOptions, out);
  std::size_t i = 0;
  for (; i < args.size() && !velkor::tool::IsCommandName(args[i]); ++i) {
    const Took took = velkor::cli::TakeOption(args, &i, own, &out.error);
    if (took == Took::kRefused) {
      return out;
    }
    if (took == Took::kTaken) {
      continue;
    }
    if (const int arity = velkor::tool::ToolOptionArity(args[i]); arity >= 0) {
      out.tool.push_back(args[i]);
      if (arity == 1 && i + 1 < args.size()) {
        out.tool.push_back(args[++i]);
      }
    } else {
      out.sim.push_back(args[i]);
    }
  }
  out.tool.insert(out.tool.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velkor;

  const SplitArguments split = Split(std::vector<std::string>(argv + 1, argv + argc));
  if (!split.error.empty()) {
    std::fprintf(stderr, "%s: %s\n", kProgram, split.error.c_str());
    return tool::kExitUsage;
  }
  sim::SimOptionsResult parsed = sim::ParseSimOptions(split.sim);
  if (!parsed.ok) {
    std::fprintf(stderr, "%s: %s\n", kProgram, parsed.error.c_str());
    return tool::kExitUsage;
  }
  sim::SimFrontendOptions& options = parsed.options;
  if (!split.flashFile.empty() && !options.cameraStatePath.empty()) {
    std::fprintf(stderr,
                 "%s: --flash-file and --camera-state: give one (the state holds the flash)\n",
                 kProgram);
    return tool::kExitUsage;
  }
  if (!split.flashFile.empty() && ::access(split.flashFile.c_str(), F_OK) == 0) {
    std::string error;
    if (!tool::LoadImageFile(split.flashFile, &options.camera.initialFlash, &error)) {
      std::fprintf(stderr, "%s: --flash-file %s\n", kProgram, error.c_str());
      return tool::kExitUsage;
    }
  }

  RealClock realClock;
  std::unique_ptr<sim::SimWorld> world = sim::BuildSimWorld(options);
  world->SetTrafficLogging(false);
  if (std::string error; !sim::LoadCameraState(*world, options, &error)) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    return tool::kExitUsage;
  }
  sim::PacedClock clock(realClock, world->clock(), !options.fast);
  sim::PacedDeviceTree deviceTree(*world, clock);
  sim::StreamDiagnostics diagnostics(stderr);
  ProcessExit exitProcess;
  // An interrupt ends the tool through the Process port too: the state is saved on that path.
  sim::StateSavingProcess process(exitProcess, *world, options, kProgram);

  Ports ports;
  ports.captureSystem = world.get();
  ports.deviceTree = &deviceTree;
  ports.clock = &clock;
  ports.process = &process;
  ports.diagnostics = options.diagnostics ? &diagnostics : nullptr;
  // A camera kept in a state file is locked beside the file, as velkor-update-sim locks it.
  const std::string& statePath = options.cameraStatePath;
  linux_platform::FlockCameraLock cameraLock(
      kProgram,
      {statePath.empty() ? "" : std::filesystem::absolute(statePath).parent_path().string()});
  if (!statePath.empty()) {
    ports.cameraLock = &cameraLock;
  }
  InstallPorts(ports);
  tool::InstallPosixInterruptHandlers();

  tool::ToolEnvironment environment;
  environment.program = kProgram;
  environment.extraUsage = kSimUsage;
  environment.stdoutIsTerminal = ::isatty(STDOUT_FILENO) != 0;
  environment.requestLatencyUs = split.latencyUs;
  int code = tool::RunTool(split.tool, environment);

  if (std::string error; !sim::SaveCameraState(*world, options, &error)) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    code = code == tool::kExitDone ? tool::kExitUsage : code;
  }
  if (!split.flashFile.empty()) {
    const auto& cells = world->device(sim::kSimCameraDevice).camera->flash().content();
    std::string error;
    if (!tool::SaveFileAtomically(split.flashFile,
                                  std::vector<std::uint8_t>(cells.begin(), cells.end()), &error)) {
      std::fprintf(stderr, "%s: --flash-file %s\n", kProgram, error.c_str());
      code = code == tool::kExitDone ? tool::kExitUsage : code;
    }
  }
  return code;
}
