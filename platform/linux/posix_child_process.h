// The child-process port on Linux: posix_spawn with the child's standard output and error on one
// pipe to us, in a process group of its own.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <mutex>
#include <string>

#include "platform/child_process.h"

namespace velkor::linux_platform {

class PosixChildProcess : public ChildProcess {
 public:
  PosixChildProcess(pid_t pid, int readFd);
  ~PosixChildProcess() override;
  PosixChildProcess(const PosixChildProcess&) = delete;
  PosixChildProcess& operator=(const PosixChildProcess&) = delete;

  bool ReadLine(std::string* line) override;
  void Kill() override;
  int Wait() override;
  long PeakMemoryKb() const override { return peakKb_.load(); }

 private:
  pid_t pid_;
  int readFd_;
  std::string buffer_;
  bool ended_ = false;
  std::mutex reapMutex_;  // Kill() and Wait() on different threads: never signal a reaped pid
  bool reaped_ = false;
  int exitCode_ = -1;
  std::atomic<long> peakKb_{0};
};

class PosixChildLauncher : public ChildLauncher {
 public:
  PosixChildLauncher();
  std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& argv,
                                      std::string* error) override;
};

}  // namespace velkor::linux_platform
