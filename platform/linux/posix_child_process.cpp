#include "platform/linux/posix_child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

extern char** environ;

namespace velkor::linux_platform {

namespace {

// The process's own peak resident memory since its exec, from /proc; 0 when it cannot be read.
// (wait4's ru_maxrss would do, but a child started by posix_spawn shares our memory until its
// exec, and the kernel counts our peak into it.)
long ReadPeakResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string field;
  while (status >> field) {
    if (field == "VmHWM:") {
      long kb = 0;
      status >> kb;
      return kb;
    }
    status.ignore(1 << 16, '\n');
  }
  return 0;
}

}  // namespace

PosixChildProcess::PosixChildProcess(pid_t pid, int readFd) : pid_(pid), readFd_(readFd) {}

PosixChildProcess::~PosixChildProcess() {
  if (!reaped_) {
    Kill();
    Wait();
  }
  ::close(readFd_);
}

bool PosixChildProcess::ReadLine(std::string* line) {
  for (;;) {
    if (const std::size_t end = buffer_.find('\n'); end != std::string::npos) {
      *line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      // Sampled at each line: the child's last line, its summary, comes after its peak.
      peakKb_ = std::max(peakKb_.load(), ReadPeakResidentKb(pid_));
      return true;
    }
    if (ended_) {
      // A last line without its line end still counts.
      if (buffer_.empty()) {
        return false;
      }
      *line = std::move(buffer_);
      buffer_.clear();
      return true;
    }
    char chunk[4096];
    const ssize_t got = ::read(readFd_, chunk, sizeof chunk);
    if (got > 0) {
      buffer_.append(chunk, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      ended_ = true;
    }
  }
}

void PosixChildProcess::Kill() {
  std::lock_guard<std::mutex> lock(reapMutex_);
  if (!reaped_) {
    ::kill(pid_, SIGKILL);
  }
}

int PosixChildProcess::Wait() {
  int status = 0;
  pid_t got = 0;
  do {
    got = ::waitpid(pid_, &status, 0);
  } while (got < 0 && errno == EINTR);
  std::lock_guard<std::mutex> lock(reapMutex_);
  if (reaped_) {
    return exitCode_;
  }
  reaped_ = true;
  if (got != pid_) {
    exitCode_ = 127;
  } else if (WIFEXITED(status)) {
    exitCode_ = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    exitCode_ = 128 + WTERMSIG(status);
  }
  return exitCode_;
}

PosixChildLauncher::PosixChildLauncher() {
  // A child's output pipe may outlive a station that was killed; the child then gets EPIPE on
  // its writes instead of dying mid-update. Ignored signals are inherited through exec.
  ::signal(SIGPIPE, SIG_IGN);
}

std::unique_ptr<ChildProcess> PosixChildLauncher::Start(const std::vector<std::string>& argv,
                                                        std::string* error) {
  if (argv.empty()) {
    *error = "no program to start";
    return nullptr;
  }
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return nullptr;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Its own process group: Ctrl-C at the terminal reaches the station, which lets running
  // updates finish. Interrupt and termination go back to their defaults, a blocked set is
  // cleared; the ignored SIGPIPE stays ignored.
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGHUP);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<char*> args;
  for (const std::string& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);
  pid_t pid = 0;
  const int failed = ::posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (failed != 0) {
    ::close(fds[0]);
    *error = argv[0] + ": " + std::strerror(failed);
    return nullptr;
  }
  return std::make_unique<PosixChildProcess>(pid, fds[0]);
}

}  // namespace velkor::linux_platform
