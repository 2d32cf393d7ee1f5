// One camera's update as the station follows it: what its child process has said so far, and
// the verdict taken from its summary and exit code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace velkor::tool {

enum class Verdict { kRunning, kPass, kFail, kWrongDevice };

const char* VerdictText(Verdict verdict);  // "Pass", "Fail", "Wrong Device", "running"
const char* VerdictWord(Verdict verdict);  // for the record: "pass", "fail", "wrong_device"

struct CameraProgress {
  std::string step;  // the step under way or last ended
  int progress = 0;  // of that step, 0..100
  std::optional<int> chipRow;
  std::string chipId;
  std::optional<int> chipVersion;
  std::string failedStep;   // the first step that ended failed
  std::string lastMessage;  // of the last event, or the last line that was not JSON
  std::optional<nlohmann::json> summary;
  std::uint64_t requests = 0;
};

// Takes one line of the child's output. JSON objects are events or the summary; any other line
// (a diagnostic on the child's standard error) is kept as the last message. Returns the parsed
// object when the line was one, for passing on.
std::optional<nlohmann::json> TakeChildLine(CameraProgress& progress, const std::string& line);

struct VerdictReading {
  Verdict verdict = Verdict::kFail;
  std::string failedStep;
  std::string message;
};

// The verdict of an ended child. Only a summary that says the image was written and verified,
// with exit code 0 (or 130: interrupted, completed first) and the protection confirmed, passes;
// a child that crashed, was killed or wrote no summary fails whatever it said before.
// hangMessage: not empty when the station killed it for saying nothing for too long.
VerdictReading ReadVerdict(const CameraProgress& progress, int exitCode,
                           const std::string& hangMessage);

}  // namespace velkor::tool
