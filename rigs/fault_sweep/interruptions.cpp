// Interruptions at a request: the reply hook that counts the camera's requests and, at the
// chosen one, closes the window, sends SIGTERM through the program's own handler, or saves the
// camera and kills the process; and their judge.
#include "rigs/fault_sweep/interruptions.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "platform/linux/terminal_session.h"
#include "rigs/fault_sweep/run_judge.h"
#include "rigs/sim/sim_camera_state_file.h"

namespace velkor::sweep {

namespace {

constexpr std::uint32_t kSetSupportFlag = 0x100;
constexpr auto kDeliveryTimeout = std::chrono::seconds(10);

// SIGTERM as the Linux programs take it: their handler turns it into a byte on a pipe and a
// pending signal, and this relay does what their dialog loop does with it, a window close.
class CloseSignalRelay {
 public:
  explicit CloseSignalRelay(HeadlessBackend& backend) : backend_(backend) {
    if (::pipe2(pipe_, O_CLOEXEC) != 0) {
      pipe_[0] = pipe_[1] = -1;
      return;
    }
    terminal::InstallCloseSignals(pipe_[1]);
    thread_ = std::thread([this] {
      char byte = 0;
      while (::read(pipe_[0], &byte, 1) == 1 && !stopping_.load()) {
        if (terminal::TakePendingSignal() != 0) {
          backend_.Inject(HeadlessInput::kClose, HeadlessTrigger::AtTimeMs(0));
        }
      }
    });
  }
  ~CloseSignalRelay() {
    terminal::RemoveCloseSignals();
    if (pipe_[1] >= 0) {
      stopping_.store(true);
      const char byte = 'q';
      [[maybe_unused]] const ssize_t written = ::write(pipe_[1], &byte, 1);
      thread_.join();
      ::close(pipe_[0]);
      ::close(pipe_[1]);
    }
  }
  CloseSignalRelay(const CloseSignalRelay&) = delete;
  CloseSignalRelay& operator=(const CloseSignalRelay&) = delete;

 private:
  HeadlessBackend& backend_;
  int pipe_[2] = {-1, -1};
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

std::unique_ptr<CloseSignalRelay> relay;

// Waits until the dialog's thread has taken an input beyond the `before` it had: the request to
// end is then handled (held, or the process ended) before the interrupted request returns.
void AwaitInput(const HeadlessBackend& backend, std::size_t before) {
  const auto deadline = std::chrono::steady_clock::now() + kDeliveryTimeout;
  while (backend.EventsOf(HeadlessEvent::Kind::kInput).size() <= before &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

}  // namespace

bool IsInterruption(FaultKind kind) {
  return kind == FaultKind::kClose || kind == FaultKind::kTerminate || kind == FaultKind::kKill;
}

void ArmInterruption(sim::SimWorld& world, HeadlessBackend& backend, FaultKind kind,
                     std::uint32_t index, const std::string& killStatePath) {
  if (kind == FaultKind::kTerminate) {
    relay = std::make_unique<CloseSignalRelay>(backend);
  }
  const std::uint32_t extensionNode = world.device(sim::kSimCameraDevice).extensionNodeId;
  sim::SimCamera* camera = world.device(sim::kSimCameraDevice).camera.get();
  auto counted = std::make_shared<std::uint32_t>(0);
  world.SetReplyHook([=, &backend](int device, const KsPropertyNode& property, std::uint8_t*,
                                   std::uint32_t, HResult result) {
    // The requests the world numbers: the camera's, past the filter, no set-support probe.
    if (device != sim::kSimCameraDevice || (property.flags & kSetSupportFlag) != 0 ||
        property.nodeId != extensionNode || ++*counted != index) {
      return result;
    }
    const std::size_t inputs = backend.EventsOf(HeadlessEvent::Kind::kInput).size();
    switch (kind) {
      case FaultKind::kClose:
        backend.Inject(HeadlessInput::kClose, HeadlessTrigger::AtTimeMs(0));
        AwaitInput(backend, inputs);
        break;
      case FaultKind::kTerminate:
        ::kill(::getpid(), SIGTERM);
        AwaitInput(backend, inputs);
        break;
      case FaultKind::kKill: {
        std::string error;
        if (!sim::SaveCameraStateFile(killStatePath, camera->SaveState(), &error)) {
          std::fprintf(stderr, "fault sweep: %s\n", error.c_str());
        }
        ::kill(::getpid(), SIGKILL);
        break;
      }
      default:
        break;
    }
    return result;
  });
}

void DisarmInterruption(sim::SimWorld& world) {
  world.SetReplyHook({});
  relay.reset();
}

DefectSet JudgeInterrupted(FaultKind kind, const ChildEnd& end, const RunRecord& record,
                           const std::string& passVerdict) {
  if (kind == FaultKind::kKill && !record.killed) {
    return Judge(end, record, passVerdict);  // the run ended before the request came
  }
  DefectSet defects = end.sanitizerReport ? Bit(Defect::kSanitizer) : 0;
  if (end.kind == ChildEnd::Kind::kTimeout) {
    return defects | Bit(Defect::kHang);
  }
  if (end.kind != ChildEnd::Kind::kReported) {
    return defects != 0 ? defects : Bit(Defect::kCrash);
  }
  const std::string verdict(record.verdict, record.verdictLength);
  // Ended before the release: nothing on the camera changed and no verdict was written.
  const bool untouched =
      !record.hasVerdict && record.flash == FlashContent::kOld && ProtectionOn(record);
  // What a clean run leaves; a kill after the final verdict leaves it too.
  const bool clean = record.hasVerdict && verdict == passVerdict &&
                     record.flash == FlashContent::kImage && ProtectionOn(record);
  if (kind == FaultKind::kKill) {
    const bool fail = record.hasVerdict && verdict == "Fail";
    if (!fail && !untouched && !clean) {
      defects |= Bit(Defect::kKillVerdict);
    }
    return defects;
  }
  if (record.stalled) {
    defects |= Bit(Defect::kHang);
  }
  if (record.exitCode != 0) {
    defects |= Bit(Defect::kCrash);
  }
  if (!clean && !untouched) {
    defects |= Bit(Defect::kInterruptNotHeld);
  }
  return defects;
}

}  // namespace velkor::sweep
