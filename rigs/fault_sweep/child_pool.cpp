// Child processes for sweep runs: fork, pipe, poll with a deadline, kill on timeout.
#include "rigs/fault_sweep/child_pool.h"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace velkor::sweep {

namespace {

// The child's side: its own directory and stderr file, the work, the record into the pipe.
[[noreturn]] void RunChild(const std::filesystem::path& directory, int pipe,
                           const std::function<RunRecord()>& work) {
  if (::chdir(directory.c_str()) != 0) {
    ::_exit(120);
  }
  const int errorFile = ::open("stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int devNull = ::open("/dev/null", O_WRONLY);
  if (errorFile < 0 || devNull < 0 || ::dup2(errorFile, STDERR_FILENO) < 0 ||
      ::dup2(devNull, STDOUT_FILENO) < 0) {
    ::_exit(121);
  }
  const RunRecord record = work();
  // Far below PIPE_BUF, so one write delivers it whole.
  const bool written = ::write(pipe, &record, sizeof record) == sizeof record;
  // No exit handlers: the parent's objects were copied, not ours to tear down.
  ::_exit(written ? 0 : 122);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

bool HoldsSanitizerReport(const std::string& text) {
  return text.find("Sanitizer") != std::string::npos ||
         text.find("runtime error:") != std::string::npos;
}

ChildPool::ChildPool(int jobs, std::chrono::milliseconds timeout, std::filesystem::path scratch,
                     Done done)
    : timeout_(timeout), scratch_(std::move(scratch)), done_(std::move(done)) {
  // No fast bins in this process or its children. A child's first large allocation would
  // otherwise consolidate the fast bins it inherited, writing to every page of the parent's
  // heap that holds one: each write copies the page and flushes the TLBs. That was more than
  // half of a run's time; without it a sweep runs twice as fast. mallopt empties only the
  // main arena's fast bins; the trim empties those already filled in every other arena.
  ::mallopt(M_MXFAST, 0);
  ::malloc_trim(0);
  slots_.resize(static_cast<std::size_t>(std::max(jobs, 1)));
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    slots_[i].directory = scratch_ / ("slot-" + std::to_string(i));
    std::filesystem::create_directories(slots_[i].directory);
  }
}

ChildPool::~ChildPool() {
  Drain();
}

void ChildPool::Submit(std::uint64_t tag, const std::function<RunRecord()>& work) {
  auto free = [this] {
    return std::find_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.pid < 0; });
  };
  while (free() == slots_.end()) {
    WaitForOne();
  }
  Slot& slot = *free();
  int fds[2];
  if (::pipe(fds) != 0) {
    std::perror("fault sweep: pipe");
    std::exit(3);
  }
  std::fflush(nullptr);  // nothing buffered may be written twice
  const pid_t pid = ::fork();
  if (pid < 0) {
    std::perror("fault sweep: fork");
    std::exit(3);
  }
  if (pid == 0) {
    ::close(fds[0]);
    RunChild(slot.directory, fds[1], work);
  }
  ::close(fds[1]);
  slot.pid = pid;
  slot.pipe = fds[0];
  slot.tag = tag;
  slot.deadline = std::chrono::steady_clock::now() + timeout_;
}

void ChildPool::Drain() {
  while (std::any_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.pid >= 0; })) {
    WaitForOne();
  }
}

void ChildPool::WaitForOne() {
  for (;;) {
    std::vector<pollfd> fds;
    std::vector<Slot*> busy;
    auto nearest = std::chrono::steady_clock::time_point::max();
    for (Slot& slot : slots_) {
      if (slot.pid >= 0) {
        fds.push_back({slot.pipe, POLLIN, 0});
        busy.push_back(&slot);
        nearest = std::min(nearest, slot.deadline);
      }
    }
    if (busy.empty()) {
      return;
    }
    const auto now = std::chrono::steady_clock::now();
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nearest - now);
    const int ready =
        ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long>(wait.count(), 0) + 1));
    if (ready < 0 && errno != EINTR) {
      std::perror("fault sweep: poll");
      std::exit(3);
    }
    bool finished = false;
    for (std::size_t i = 0; i < busy.size(); ++i) {
      // The pipe becomes readable with the record, and at end of file when the child is gone.
      if (fds[i].revents != 0) {
        Finish(*busy[i], false);
        finished = true;
      } else if (std::chrono::steady_clock::now() >= busy[i]->deadline) {
        Finish(*busy[i], true);
        finished = true;
      }
    }
    if (finished) {
      return;
    }
  }
}

void ChildPool::Finish(Slot& slot, bool timedOut) {
  ChildEnd end;
  RunRecord record;
  int status = 0;
  if (timedOut) {
    ::kill(slot.pid, SIGKILL);
    ::waitpid(slot.pid, &status, 0);
    end.kind = ChildEnd::Kind::kTimeout;
  } else {
    std::size_t got = 0;
    auto* bytes = reinterpret_cast<char*>(&record);
    for (;;) {
      const ssize_t n = ::read(slot.pipe, bytes + got, sizeof record - got);
      if (n > 0) {
        got += static_cast<std::size_t>(n);
        if (got == sizeof record) {
          break;
        }
      } else if (n == 0 || errno != EINTR) {
        break;
      }
    }
    ::waitpid(slot.pid, &status, 0);
    if (WIFSIGNALED(status)) {
      end.kind = ChildEnd::Kind::kSignal;
      end.signal = WTERMSIG(status);
    } else if (got == sizeof record && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      end.kind = ChildEnd::Kind::kReported;
    } else {
      end.kind = ChildEnd::Kind::kNoReport;
    }
  }
  ::close(slot.pipe);
  end.sanitizerReport = HoldsSanitizerReport(ReadFile(slot.directory / "stderr"));
  const std::uint64_t tag = slot.tag;
  slot.pid = -1;
  slot.pipe = -1;
  done_(tag, end, record);
}

}  // namespace velkor::sweep
