#include "service/station/station.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace velkor::tool {

namespace {

using SteadyClock = std::chrono::steady_clock;

double SecondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// One camera's child process and the thread that reads what it says.
struct RunningCamera {
  CameraRow row;
  std::int64_t recordId = 0;
  std::string startedAt;
  SteadyClock::time_point start;
  SteadyClock::time_point lastLine;
  std::unique_ptr<ChildProcess> child;
  std::thread reader;
  bool ended = false;  // the child's output ended; guarded by the station's mutex
  bool hung = false;
};

class Station {
 public:
  Station(const StationSettings& settings, StationDependencies& dependencies)
      : settings_(settings), d_(dependencies), started_(SteadyClock::now()) {}

  StationTotals Run() {
    std::string error;
    if (const int left = d_.store.MarkInterrupted(&error); left > 0) {
      d_.display.Note(std::to_string(left) +
                      " attempts of an earlier station never ended: recorded as interrupted");
    } else if (left < 0 || !error.empty()) {
      NoteStoreError(error);
    }
    bool first = true;
    bool stopping = false;
    for (;;) {
      if (!stopping && d_.stopRequested.load()) {
        stopping = true;
        queue_.clear();
        d_.display.Note("stopping: no new camera is taken; waiting for " +
                        std::to_string(running_.size()) + " running updates to finish");
      }
      if (!stopping && (first || !settings_.once)) {
        Look();
      }
      first = false;
      while (!stopping && !queue_.empty() && static_cast<int>(running_.size()) < settings_.slots) {
        Start(queue_.front());
        queue_.pop_front();
      }
      if (settings_.once && running_.empty() && queue_.empty()) {
        break;
      }
      if (stopping && running_.empty()) {
        break;
      }
      WaitAndCollect();
    }
    Draw(true);
    totals_.seconds = SecondsSince(started_);
    return totals_;
  }

 private:
  void Look() {
    const std::vector<CameraSighting> sightings = d_.findCameras();
    std::set<std::string> present;
    for (const CameraSighting& sighting : sightings) {
      present.insert(sighting.port);
      if (known_.insert(sighting.port).second) {
        ++totals_.found;
        queue_.push_back(sighting);
      }
    }
    // A camera whose update ended is taken again only after it has been unplugged.
    for (auto it = known_.begin(); it != known_.end();) {
      if (present.count(*it) == 0 && !IsBusy(*it)) {
        ended_.erase(*it);
        it = known_.erase(it);
      } else {
        ++it;
      }
    }
    for (auto it = queue_.begin(); it != queue_.end();) {
      it = present.count(it->port) == 0 ? queue_.erase(it) : it + 1;
    }
  }

  bool IsBusy(const std::string& port) const {
    for (const auto& camera : running_) {
      if (camera->row.port == port) {
        return true;
      }
    }
    for (const CameraSighting& waiting : queue_) {
      if (waiting.port == port) {
        return true;
      }
    }
    return false;
  }

  void Start(const CameraSighting& sighting) {
    auto camera = std::make_unique<RunningCamera>();
    camera->row.port = sighting.port;
    camera->row.serial = sighting.serial;
    camera->start = camera->lastLine = SteadyClock::now();
    camera->startedAt = d_.nowText();

    // The record comes first: no flash is touched before the attempt is on file.
    AttemptStart start{camera->startedAt, settings_.host,        sighting.port,
                       sighting.serial,   settings_.imageSha256, settings_.imageVersion};
    std::string error;
    camera->recordId = d_.store.Begin(start, &camera->row.counter, &error);
    if (camera->recordId == 0) {
      NoteStoreError(error);
      EndUnstarted(*camera,
                   "the attempt could not be recorded, so the camera was not touched: " + error);
      return;
    }
    std::vector<std::string> argv = d_.childCommand(sighting.port);
    argv.insert(argv.end(), {"write", settings_.imagePath, "--device", sighting.port, "--json"});
    camera->child = d_.launcher.Start(argv, &error);
    if (!camera->child) {
      EndUnstarted(*camera, "the update could not be started: " + error);
      return;
    }
    d_.display.CameraStarted(camera->row);
    RunningCamera* raw = camera.get();
    camera->reader = std::thread([this, raw] { Read(*raw); });
    running_.push_back(std::move(camera));
  }

  // Runs on the camera's own thread: only the child's output and the shared queue are touched.
  void Read(RunningCamera& camera) {
    std::string line;
    while (camera.child->ReadLine(&line)) {
      std::lock_guard<std::mutex> lock(mutex_);
      camera.lastLine = SteadyClock::now();
      if (std::optional<nlohmann::json> object = TakeChildLine(camera.row.progress, line)) {
        camera.row.seconds = SecondsSince(camera.start);
        objects_.emplace_back(camera.row, std::move(*object));
      }
      wake_.notify_all();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    camera.ended = true;
    wake_.notify_all();
  }

  void WaitAndCollect() {
    std::deque<std::pair<CameraRow, nlohmann::json>> objects;
    std::vector<RunningCamera*> ended;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait_for(lock, std::chrono::milliseconds(settings_.pollMs), [this] {
        if (!objects_.empty() || d_.stopRequested.load()) {
          return true;
        }
        for (const auto& camera : running_) {
          if (camera->ended) {
            return true;
          }
        }
        return false;
      });
      objects.swap(objects_);
      const auto now = SteadyClock::now();
      for (const auto& camera : running_) {
        camera->row.seconds = SecondsSince(camera->start);
        if (camera->ended) {
          ended.push_back(camera.get());
        } else if (!camera->hung &&
                   now - camera->lastLine > std::chrono::milliseconds(settings_.hangMs)) {
          // Killing ends its output, and the reader thread with it.
          camera->hung = true;
          camera->child->Kill();
        }
      }
    }
    for (const auto& [row, object] : objects) {
      d_.display.ChildObject(row, object);
    }
    for (RunningCamera* camera : ended) {
      End(*camera);
    }
    Draw();
  }

  void End(RunningCamera& camera) {
    camera.reader.join();
    const int exitCode = camera.child->Wait();
    camera.row.peakMemoryKb = camera.child->PeakMemoryKb();
    const std::string hang = camera.hung ? "the update said nothing for " +
                                               std::to_string(settings_.hangMs / 1000) +
                                               " s and was stopped"
                                         : "";
    Finish(camera, ReadVerdict(camera.row.progress, exitCode, hang));
    std::erase_if(running_, [&](const auto& held) { return held.get() == &camera; });
  }

  void EndUnstarted(RunningCamera& camera, const std::string& message) {
    VerdictReading reading;
    reading.failedStep = "start";
    reading.message = message;
    Finish(camera, reading);
  }

  void Finish(RunningCamera& camera, const VerdictReading& reading) {
    camera.row.reading = reading;
    camera.row.verdict = reading.verdict;
    camera.row.seconds = SecondsSince(camera.start);
    if (reading.verdict == Verdict::kPass) {
      ++totals_.passed;
    } else {
      ++totals_.failed;
    }
    if (camera.recordId != 0) {
      AttemptEnd end;
      end.endedAt = d_.nowText();
      end.chipRow = camera.row.progress.chipRow;
      end.chipId = camera.row.progress.chipId;
      end.chipVersion = camera.row.progress.chipVersion;
      end.result = VerdictWord(reading.verdict);
      end.failedStep = reading.failedStep;
      end.message = reading.message;
      end.requests = camera.row.progress.requests;
      end.durationSeconds = camera.row.seconds;
      if (std::string error; !d_.store.Finish(camera.recordId, end, &error)) {
        NoteStoreError(error);
      }
    }
    ended_[camera.row.port] = camera.row;
    d_.display.CameraEnded(camera.row);
  }

  void NoteStoreError(const std::string& error) {
    if (totals_.storeError.empty()) {
      totals_.storeError = error.empty() ? "the record could not be written" : error;
      d_.display.Note("record: " + totals_.storeError);
    }
  }

  StationCounts Counts() const {
    StationCounts counts;
    counts.passed = totals_.passed;
    counts.failed = totals_.failed;
    counts.running = static_cast<int>(running_.size());
    const double hours = SecondsSince(started_) / 3600.0;
    counts.perHour = hours > 0 ? (totals_.passed + totals_.failed) / hours : 0;
    return counts;
  }

  void Draw(bool force = false) {
    std::vector<const CameraRow*> rows;
    // An ended camera keeps its line until it is unplugged, so the line turns green and stays.
    for (const auto& [port, row] : ended_) {
      rows.push_back(&row);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& camera : running_) {
      rows.push_back(&camera->row);
    }
    d_.display.Refresh(rows, Counts(), force);
  }

  const StationSettings& settings_;
  StationDependencies& d_;
  const SteadyClock::time_point started_;
  std::set<std::string> known_;  // attached ports queued, running or ended (until unplugged)
  std::deque<CameraSighting> queue_;
  std::vector<std::unique_ptr<RunningCamera>> running_;
  std::map<std::string, CameraRow> ended_;  // the last attempt of each attached port
  StationTotals totals_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::pair<CameraRow, nlohmann::json>> objects_;
};

}  // namespace

StationTotals RunStation(const StationSettings& settings, StationDependencies& dependencies) {
  Station station(settings, dependencies);
  return station.Run();
}

int StationExitCode(const StationTotals& totals) {
  if (totals.found == 0) {
    return 3;
  }
  return totals.failed == 0 && totals.storeError.empty() ? 0 : 1;
}

}  // namespace velkor::tool
