// A run of the whole program against the simulated camera, and the state it leaves.
#include "rigs/fault_sweep/sweep_world.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "access/access_context.h"
#include "app/app_state.h"
#include "app/flash_window.h"
#include "app/velkor_app.h"
#include "platform/ports.h"
#include "rigs/sim/sim_camera.h"
#include "rigs/headless/headless_backend.h"
#include "rigs/fault_sweep/interruptions.h"
#include "rigs/fault_sweep/run_judge.h"
#include "rigs/sim/sim_camera_state_file.h"
#include "rigs/sim_frontend/image_file_resources.h"
#include "transport/bound_device.h"

namespace velkor::sweep {

namespace {

constexpr std::size_t kImageSize = 65536;
// Bits 4..6 pin 3, bits 0..3 polarity 1 (drive the pin low while writing); bit 7 set, which is
// also the configuration block's "protect afterwards" flag F.
constexpr std::uint8_t kPinConfigAndFlagF = 0xB1;
constexpr std::uint8_t kProtectingD = 0x36;  // at least 0x35: protect afterwards
// Where chip rows read the configuration byte and the block's bytes D and F from.
constexpr std::uint16_t kConfigAndFAddresses[] = {0x8034, 0xC034, 0x5834, 0x0034, 0x000F};
constexpr std::uint16_t kDAddresses[] = {0x8003, 0xC003, 0x5803, 0x0003};

constexpr std::uint8_t kProtectedAtStart = 0x8C;  // SRWD, BP1, BP0

std::vector<std::uint8_t> MakeImage(unsigned seed) {
  std::vector<std::uint8_t> image(kImageSize);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& byte : image) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  for (std::uint16_t address : kConfigAndFAddresses) {
    image[address] = kPinConfigAndFlagF;
  }
  for (std::uint16_t address : kDAddresses) {
    image[address] = kProtectingD;
  }
  return image;
}

// A fresh process: the application's globals and the access library's context as at start.
void ResetProcessState() {
  access::context = access::AccessContext{};
  transport::boundDevice = transport::BoundDevice{};
  app::ImageBuffer = nullptr;
  app::ImageLoaded = false;
  app::TargetIndex = -1;
  app::WorkerThread = nullptr;
  app::PresentNow = 0;
  app::PresentBefore = 0;
  app::AbsentTicks = 0;
  app::TheFlashWindow().Reset();
}

void Arm(sim::SimRequestFaults& faults, const Fault& fault) {
  using Scheduled = sim::SimScheduledFault::Kind;
  sim::SimScheduledFault scheduled;
  scheduled.number = fault.index;
  switch (fault.kind) {
    case FaultKind::kFailedRequest:
      scheduled.kind = Scheduled::kLose;
      break;
    case FaultKind::kSFalse:
      scheduled.kind = Scheduled::kLose;
      scheduled.result = hr::kFalse;
      break;
    case FaultKind::kUnplug:
      scheduled.kind = Scheduled::kUnplugAfter;
      break;
    case FaultKind::kCorruptReply:
    case FaultKind::kGarble:
      scheduled.kind = Scheduled::kGarble;
      scheduled.byte = fault.replyByte;
      scheduled.mask = fault.kind == FaultKind::kCorruptReply ? 0xFF : fault.mask;
      break;
    case FaultKind::kDoneFail:
      scheduled.kind = Scheduled::kCarryOutThenFail;
      break;
    case FaultKind::kBurst2:
    case FaultKind::kBurst8:
    case FaultKind::kBurst16:
      scheduled.kind = Scheduled::kLose;
      scheduled.count = BurstLength(fault.kind);
      break;
    case FaultKind::kSlowFlash:
      return;  // a property of the flash, set when the camera is made
    case FaultKind::kClose:
    case FaultKind::kTerminate:
    case FaultKind::kKill:
      return;  // no request fault: armed on the run's dialog (see interruptions.h)
  }
  faults.scheduled.push_back(scheduled);
}

bool SetupRegistersAtPowerUp(const sim::SimCamera& camera) {
  using sim::SimCamera;
  bool atPowerUp = camera.Register(0x5F3) == SimCamera::kPowerUpReg5F3 &&
                   camera.Register(0x5F5) == SimCamera::kPowerUpReg5F5;
  for (std::uint16_t reg = 0x5F8; reg <= 0x5FB; ++reg) {
    atPowerUp = atPowerUp && camera.Register(reg) == SimCamera::kPowerUpReg5F8To5FB;
  }
  return atPowerUp;
}

void ReadVerdict(RunRecord* record) {
  std::ifstream file("Result.log", std::ios::binary);
  if (!file) {
    return;
  }
  const std::string bytes{std::istreambuf_iterator<char>(file), {}};
  record->hasVerdict = true;
  record->verdictLength = static_cast<std::uint8_t>(std::min(bytes.size(), sizeof record->verdict));
  bytes.copy(record->verdict, record->verdictLength);
}

}  // namespace

SweepTarget MakeTarget(int chipRow) {
  return SweepTarget{chipRow, MakeImage(1), MakeImage(2), 800};
}

Program UpdaterProgram() {
  return [] { return app::UpdaterMain(); };
}

std::uint32_t BurstLength(FaultKind kind) {
  switch (kind) {
    case FaultKind::kBurst2:
      return 2;
    case FaultKind::kBurst8:
      return 8;
    case FaultKind::kBurst16:
      return 16;
    default:
      return 1;
  }
}

std::uint32_t ValueByteOf(std::uint32_t selector) {
  return selector == 3 || selector == 4 ? 3 : 2;
}

namespace {

constexpr char kKilledStateFile[] = "killed-camera.state";

// One run with its faults; *left receives the camera's state as the run left it.
RunRecord RunWith(const SweepTarget& target, const std::vector<Fault>& faults,
                  const Program& program, std::vector<sim::TrafficRecord>* traffic,
                  const std::function<void(sim::SimWorld&)>& prepare, sim::SimCameraState* left) {
  std::error_code ignored;
  std::filesystem::remove("Result.log", ignored);
  ResetProcessState();

  sim::SimCameraConfig config;
  config.chipRow = target.chipRow;
  config.initialFlash = target.oldImage;
  config.initialStatus = kProtectedAtStart;
  config.chipEraseMs = target.chipEraseMs;
  config.transferBusyPolls = target.busyPolls;
  for (const Fault& fault : faults) {
    if (fault.kind == FaultKind::kSlowFlash) {
      config.chipEraseMs = fault.eraseMs;
      config.statusWriteMs = fault.statusWriteMs;
    }
  }
  std::unique_ptr<sim::SimWorld> world = sim::MakeSingleCameraWorld(config);
  world->SetTrafficLogging(traffic != nullptr);
  sim::SimCaptureDeviceConfig& camera = world->device(sim::kSimCameraDevice);
  for (const Fault& fault : faults) {
    Arm(camera.faults, fault);
  }
  if (prepare) {
    prepare(*world);
  }
  auto backend = std::make_unique<HeadlessBackend>(world->clock());
  sim::ImageFileResources resources(target.image);
  const auto interruption = std::find_if(faults.begin(), faults.end(),
                                         [](const Fault& f) { return IsInterruption(f.kind); });
  if (interruption != faults.end()) {
    ArmInterruption(*world, *backend, interruption->kind, interruption->index, kKilledStateFile);
  }

  Ports ports;
  ports.captureSystem = world.get();
  ports.deviceTree = world.get();
  ports.clock = &backend->clock();
  ports.process = &backend->process();
  ports.resources = &resources;
  InstallPorts(ports);
  InstallDialogBackend(backend.get());

  RunRecord record;
  record.exitCode = backend->RunProcess(program);
  record.stalled = !backend->EventsOf(HeadlessEvent::Kind::kStalled).empty();
  ReadVerdict(&record);
  const sim::SimFlash& flash = camera.camera->flash();
  record.flash = ClassifyFlash(flash.content(), target.oldImage, target.image);
  record.status = flash.Status();
  record.writeProtectLow = camera.camera->WriteProtectActive();
  record.attached = world->CameraAttached();
  record.setupRegistersRestored = SetupRegistersAtPowerUp(*camera.camera);
  record.deviceClosed = !access::IsOpen(0) && transport::boundDevice.filter == nullptr;
  record.sessionsClosed = world->SessionsBalanced();
  if (traffic != nullptr) {
    *traffic = world->traffic();
  }
  if (left != nullptr) {
    *left = world->CameraState(sim::kSimCameraDevice);
  }

  // Ends the run's objects in an order that leaves nothing pointing at a destroyed world.
  DisarmInterruption(*world);
  access::context = access::AccessContext{};
  transport::boundDevice = transport::BoundDevice{};
  InstallPorts(Ports{});
  backend.reset();
  InstallDialogBackend(nullptr);
  world.reset();
  return record;
}

RerunRecord SecondRun(const SweepTarget& target, const Program& program,
                      const sim::SimCameraState& left, bool replug) {
  const RunRecord second = RunWith(
      target, {}, program, nullptr,
      [&](sim::SimWorld& world) {
        sim::SimCamera& camera = *world.device(sim::kSimCameraDevice).camera;
        std::string error;
        if (!camera.LoadState(left, &error)) {
          std::fprintf(stderr, "fault sweep: %s\n", error.c_str());
          std::abort();  // the same camera's own state: cannot happen
        }
        if (replug) {
          camera.Replug();
        }
      },
      nullptr);
  RerunRecord record;
  record.ran = true;
  record.exitCode = second.exitCode;
  record.stalled = second.stalled;
  record.hasVerdict = second.hasVerdict;
  record.verdictLength = second.verdictLength;
  std::copy_n(second.verdict, sizeof record.verdict, record.verdict);
  record.flash = second.flash;
  record.status = second.status;
  record.writeProtectLow = second.writeProtectLow;
  return record;
}

// A run with a kill fault, in a process of its own that the fault kills: what it left is read
// from the camera state it saved at the kill and from the directory, as a user would find it.
RunRecord RunKilled(const SweepTarget& target, const std::vector<Fault>& faults,
                    const Program& program, sim::SimCameraState* left) {
  std::error_code ignored;
  std::filesystem::remove(kKilledStateFile, ignored);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Reached only when the program ended before the request of the kill came.
    sim::SimCameraState state;
    const RunRecord record = RunWith(target, faults, program, nullptr, {}, &state);
    std::string error;
    sim::SaveCameraStateFile(kKilledStateFile, state, &error);
    std::_Exit(record.exitCode == 0 && !record.stalled ? 0 : 1);
  }
  int status = 0;
  while (pid > 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  RunRecord record;
  record.killed = pid > 0 && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  record.exitCode = pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : 128 + SIGKILL;
  ReadVerdict(&record);
  std::string error;
  sim::SimCameraState state;
  if (!sim::LoadCameraStateFile(kKilledStateFile, &state, &error)) {
    std::fprintf(stderr, "fault sweep: the killed run left no camera state: %s\n", error.c_str());
    record.exitCode = -1;
    return record;
  }
  // The camera as the kill left it, in a world of its own: attached, its flash and pin as saved.
  sim::SimCameraConfig config;
  config.chipRow = target.chipRow;
  config.initialFlash = target.oldImage;
  std::unique_ptr<sim::SimWorld> world = sim::MakeSingleCameraWorld(config);
  sim::SimCamera& camera = *world->device(sim::kSimCameraDevice).camera;
  if (!camera.LoadState(state, &error)) {
    std::fprintf(stderr, "fault sweep: %s\n", error.c_str());
    record.exitCode = -1;
    return record;
  }
  record.flash = ClassifyFlash(camera.flash().content(), target.oldImage, target.image);
  record.status = camera.flash().Status();
  record.writeProtectLow = camera.WriteProtectActive();
  record.attached = true;
  record.setupRegistersRestored = SetupRegistersAtPowerUp(camera);
  record.deviceClosed = true;  // the system closes a killed process's handles
  record.sessionsClosed = true;
  *left = state;
  return record;
}

}  // namespace

RunRecord RunOnce(const SweepTarget& target, const std::optional<Fault>& fault,
                  const Program& program, std::vector<sim::TrafficRecord>* traffic,
                  const std::function<void(sim::SimWorld&)>& prepare) {
  std::vector<Fault> faults;
  if (fault) {
    faults.push_back(*fault);
  }
  return RunWith(target, faults, program, traffic, prepare, nullptr);
}

RunRecord RunFaulted(const SweepTarget& target, const std::vector<Fault>& faults,
                     const Program& program, const Rerun& rerun) {
  sim::SimCameraState left;
  const bool wantState = rerun.attached || rerun.replugged;
  const bool kill = std::any_of(faults.begin(), faults.end(),
                                [](const Fault& f) { return f.kind == FaultKind::kKill; });
  RunRecord record =
      kill ? RunKilled(target, faults, program, &left)
           : RunWith(target, faults, program, nullptr, {}, wantState ? &left : nullptr);
  if (rerun.attached) {
    // An unplugged camera lost its power: plugged in again, it starts from power-on.
    record.rerunAttached = SecondRun(target, program, left, !record.attached);
  }
  if (rerun.replugged) {
    record.rerunReplugged = SecondRun(target, program, left, true);
  }
  return record;
}

}  // namespace velkor::sweep
