// Test doubles for the station: children that say scripted lines at scripted times (or hang),
// and an attempt record in memory that checks its rows are begun before their child starts.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/child_process.h"
#include "service/station/attempt_store.h"

namespace velkor::tool::testing {

struct ChildScript {
  std::vector<std::pair<int, std::string>> lines;  // (milliseconds before, line)
  int exitCode = 0;
  bool hangAtEnd = false;  // says nothing more and never ends until killed
};

// A pass as the tool's write reports it.
ChildScript PassingChild(int stepMs = 5);
// A write whose erase failed: exit code 4, summary not written.
ChildScript FailingChild(int stepMs = 5);

struct Launches {
  std::mutex mutex;
  std::vector<std::vector<std::string>> argvs;
  int alive = 0;
  int mostAlive = 0;
  std::vector<std::string> startedWithoutRecord;  // ports whose child started before its row
};

class ScriptedChild : public ChildProcess {
 public:
  ScriptedChild(ChildScript script, Launches& launches);
  bool ReadLine(std::string* line) override;
  void Kill() override;
  int Wait() override;
  long PeakMemoryKb() const override { return 0; }

 private:
  ChildScript script_;
  Launches& launches_;
  std::size_t next_ = 0;
  std::mutex mutex_;
  std::condition_variable killed_;
  bool wasKilled_ = false;
  bool counted_ = true;
};

class MemoryStore;

// Gives each port's child its script (a passing one for ports not named).
class ScriptedLauncher : public ChildLauncher {
 public:
  ScriptedLauncher(std::map<std::string, ChildScript> scripts, const MemoryStore* store = nullptr)
      : scripts_(std::move(scripts)), store_(store) {}
  std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& argv,
                                      std::string* error) override;
  Launches launches;

 private:
  std::map<std::string, ChildScript> scripts_;
  const MemoryStore* store_;
};

class MemoryStore : public AttemptStore {
 public:
  int MarkInterrupted(std::string* error) override;
  std::int64_t Begin(const AttemptStart& start, std::int64_t* counter, std::string* error) override;
  bool Finish(std::int64_t id, const AttemptEnd& end, std::string* error) override;
  std::vector<AttemptRecord> List(const std::string& since, std::string* error) override;

  bool HasRunningRow(const std::string& port) const;
  std::vector<AttemptRecord> Rows() const;
  bool failBegin = false;

 private:
  mutable std::mutex mutex_;
  std::vector<AttemptRecord> rows_;
};

}  // namespace velkor::tool::testing
