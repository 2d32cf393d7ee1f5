// The station's record of every update attempt: a row is written before the camera's flash is
// touched and completed after, so a station that dies mid-update leaves rows that say so.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velkor::tool {

// The current schema version (PRAGMA user_version). Older databases are upgraded on open; a
// newer one is refused and left as it is. Version 1 had no serial and no request count.
constexpr int kAttemptSchemaVersion = 2;

struct AttemptStart {
  std::string startedAt;  // UTC, ISO 8601 with milliseconds: 2026-12-07T22:45:01.123Z
  std::string host;
  std::string port;         // the device path the camera was found at
  std::string serial;       // the USB serial number; empty when the device has none
  std::string imageSha256;  // lower-case hex
  std::string imageVersion;
};

struct AttemptEnd {
  std::string endedAt;  // as startedAt
  std::optional<int> chipRow;
  std::string chipId;
  std::optional<int> chipVersion;
  std::string result;      // "pass", "fail", "wrong_device", "interrupted"
  std::string failedStep;  // the step that failed ("erase", ...); empty on a pass
  std::string message;
  std::uint64_t requests = 0;
  double durationSeconds = 0;
};

struct AttemptRecord {
  std::int64_t id = 0;
  std::int64_t counter = 0;  // per host: the station's n-th attempt
  std::string state;         // "running", "done", "interrupted"
  AttemptStart start;
  std::optional<AttemptEnd> end;  // empty while running or when interrupted
};

class AttemptStore {
 public:
  virtual ~AttemptStore() = default;
  // Marks every row still "running" as "interrupted" (a station that was killed left them).
  // Returns how many. Called once when a station starts.
  virtual int MarkInterrupted(std::string* error) = 0;
  // Writes a "running" row and returns its id (0 on failure, *error set). *counter receives the
  // host's attempt counter given to the row.
  virtual std::int64_t Begin(const AttemptStart& start, std::int64_t* counter,
                             std::string* error) = 0;
  // Completes the row: state "done" with the end's fields.
  virtual bool Finish(std::int64_t id, const AttemptEnd& end, std::string* error) = 0;
  // The rows started at or after `since` (same text form as startedAt; empty: all), newest first.
  virtual std::vector<AttemptRecord> List(const std::string& since, std::string* error) = 0;
};

// Opens (creating when missing) the SQLite database at path, in WAL mode, upgrading its schema.
// Null and *error set when it cannot.
std::unique_ptr<AttemptStore> OpenAttemptStore(const std::string& path, std::string* error);

// The same for a reader (history): fails, creating nothing, when there is no file at path.
std::unique_ptr<AttemptStore> OpenExistingAttemptStore(const std::string& path, std::string* error);

}  // namespace velkor::tool
