// Runs work in child processes, a few at a time, each with a wall-clock timeout, in a scratch
// directory of its slot with its stderr kept in a file there. A child reports a RunRecord
// through a pipe; how it ended (report, signal, timeout, no report) and whether a sanitizer
// wrote to its stderr are handed to the caller with the record.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

#include "rigs/fault_sweep/sweep_types.h"

namespace velkor::sweep {

class ChildPool {
 public:
  using Done = std::function<void(std::uint64_t tag, const ChildEnd& end, const RunRecord& record)>;

  // jobs: children at once (at least 1). The slots' directories are made under scratch.
  ChildPool(int jobs, std::chrono::milliseconds timeout, std::filesystem::path scratch, Done done);
  ~ChildPool();
  ChildPool(const ChildPool&) = delete;
  ChildPool& operator=(const ChildPool&) = delete;

  // Starts work in a child as soon as a slot is free. The caller must have no other threads
  // running: fork copies only the calling one.
  void Submit(std::uint64_t tag, const std::function<RunRecord()>& work);
  // Waits for every child still running.
  void Drain();

 private:
  struct Slot {
    std::filesystem::path directory;
    pid_t pid = -1;
    int pipe = -1;
    std::uint64_t tag = 0;
    std::chrono::steady_clock::time_point deadline;
  };

  void WaitForOne();
  void Finish(Slot& slot, bool timedOut);

  std::chrono::milliseconds timeout_;
  std::filesystem::path scratch_;
  Done done_;
  std::vector<Slot> slots_;
};

// Whether a child's stderr holds a sanitizer's report.
bool HoldsSanitizerReport(const std::string& text);

}  // namespace velkor::sweep
