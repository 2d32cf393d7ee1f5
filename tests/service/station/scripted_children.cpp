#include "tests/service/station/scripted_children.h"

#include <algorithm>

namespace velkor::tool::testing {

namespace {

std::string Event(const std::string& step, const std::string& result, int progress) {
  return R"({"type":"event","command":"write","step":")" + step + R"(","result":")" + result +
         R"(","progress":)" + std::to_string(progress) + R"(,"message":")" + step + " " + result +
         "\"}";
}

}  // namespace

ChildScript PassingChild(int stepMs) {
  ChildScript script;
  for (const char* step : {"open", "identify", "erase", "write", "verify", "restore"}) {
    script.lines.push_back({stepMs, Event(step, "started", 0)});
    script.lines.push_back({stepMs, Event(step, "ok", 100)});
  }
  script.lines.push_back(
      {stepMs, R"({"type":"summary","command":"write","exit_code":0,"result":"ok","written":true,)"
               R"("verified":true,"protection_confirmed":true,"requests":25832,)"
               R"("chip":{"row":18,"id":"N8ER0","version":2},"message":"Update Finish."})"});
  return script;
}

ChildScript FailingChild(int stepMs) {
  ChildScript script;
  script.lines.push_back({stepMs, Event("erase", "started", 0)});
  script.lines.push_back({stepMs, Event("erase", "failed", 100)});
  script.lines.push_back(
      {stepMs, R"({"type":"summary","command":"write","exit_code":4,"result":"camera-failed",)"
               R"("written":false,"verified":false,"protection_confirmed":true,"requests":900,)"
               R"("chip":{"row":0,"id":"N8ER0","version":1},"message":"Erase failed!!!"})"});
  script.exitCode = 4;
  return script;
}

ScriptedChild::ScriptedChild(ChildScript script, Launches& launches)
    : script_(std::move(script)), launches_(launches) {}

bool ScriptedChild::ReadLine(std::string* line) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (next_ < script_.lines.size()) {
    const auto& [delayMs, text] = script_.lines[next_];
    if (killed_.wait_for(lock, std::chrono::milliseconds(delayMs), [this] { return wasKilled_; })) {
      return false;
    }
    ++next_;
    *line = text;
    return true;
  }
  if (script_.hangAtEnd) {
    killed_.wait(lock, [this] { return wasKilled_; });
  }
  return false;
}

void ScriptedChild::Kill() {
  std::lock_guard<std::mutex> lock(mutex_);
  wasKilled_ = true;
  killed_.notify_all();
}

int ScriptedChild::Wait() {
  {
    std::lock_guard<std::mutex> lock(launches_.mutex);
    if (counted_) {
      --launches_.alive;
      counted_ = false;
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  return wasKilled_ ? 128 + 9 : script_.exitCode;
}

std::unique_ptr<ChildProcess> ScriptedLauncher::Start(const std::vector<std::string>& argv,
                                                      std::string* /*error*/) {
  // The station appends: write IMAGE --device PORT --json.
  const auto device = std::find(argv.begin(), argv.end(), "--device");
  const std::string port = device != argv.end() && device + 1 != argv.end() ? *(device + 1) : "";
  std::lock_guard<std::mutex> lock(launches.mutex);
  launches.argvs.push_back(argv);
  launches.mostAlive = std::max(launches.mostAlive, ++launches.alive);
  if (store_ != nullptr && !store_->HasRunningRow(port)) {
    launches.startedWithoutRecord.push_back(port);
  }
  const auto script = scripts_.find(port);
  return std::make_unique<ScriptedChild>(script == scripts_.end() ? PassingChild() : script->second,
                                         launches);
}

int MemoryStore::MarkInterrupted(std::string* /*error*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  int marked = 0;
  for (AttemptRecord& row : rows_) {
    if (row.state == "running") {
      row.state = "interrupted";
      ++marked;
    }
  }
  return marked;
}

std::int64_t MemoryStore::Begin(const AttemptStart& start, std::int64_t* counter,
                                std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failBegin) {
    *error = "disk full";
    return 0;
  }
  AttemptRecord row;
  row.id = static_cast<std::int64_t>(rows_.size()) + 1;
  row.counter = row.id;
  row.state = "running";
  row.start = start;
  rows_.push_back(row);
  *counter = row.counter;
  return row.id;
}

bool MemoryStore::Finish(std::int64_t id, const AttemptEnd& end, std::string* /*error*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  rows_.at(static_cast<std::size_t>(id - 1)).state = "done";
  rows_.at(static_cast<std::size_t>(id - 1)).end = end;
  return true;
}

std::vector<AttemptRecord> MemoryStore::List(const std::string& /*since*/, std::string* /*error*/) {
  return Rows();
}

bool MemoryStore::HasRunningRow(const std::string& port) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::any_of(rows_.begin(), rows_.end(), [&](const AttemptRecord& row) {
    return row.state == "running" && row.start.port == port;
  });
}

std::vector<AttemptRecord> MemoryStore::Rows() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return rows_;
}

}  // namespace velkor::tool::testing
