#include "service/station/camera_run.h"

#include <cstdio>

#include "service/exit_codes.h"

namespace velkor::tool {

const char* VerdictText(Verdict verdict) {
  switch (verdict) {
    case Verdict::kRunning:
      return "running";
    case Verdict::kPass:
      return "Pass";
    case Verdict::kWrongDevice:
      return "Wrong Device";
    case Verdict::kFail:
      break;
  }
  return "Fail";
}

const char* VerdictWord(Verdict verdict) {
  switch (verdict) {
    case Verdict::kRunning:
      return "running";
    case Verdict::kPass:
      return "pass";
    case Verdict::kWrongDevice:
      return "wrong_device";
    case Verdict::kFail:
      break;
  }
  return "fail";
}

namespace {

void TakeChip(CameraProgress& progress, const nlohmann::json& chip) {
  if (!chip.is_object()) {
    return;
  }
  if (chip.contains("row") && chip["row"].is_number_integer()) {
    progress.chipRow = chip["row"].get<int>();
  }
  if (chip.contains("id") && chip["id"].is_string()) {
    progress.chipId = chip["id"].get<std::string>();
  }
  if (chip.contains("version") && chip["version"].is_number_integer()) {
    progress.chipVersion = chip["version"].get<int>();
  }
}

std::string StringField(const nlohmann::json& object, const char* name) {
  return object.contains(name) && object[name].is_string() ? object[name].get<std::string>() : "";
}

bool TrueField(const nlohmann::json& object, const char* name) {
  return object.contains(name) && object[name].is_boolean() && object[name].get<bool>();
}

}  // namespace

std::optional<nlohmann::json> TakeChildLine(CameraProgress& progress, const std::string& line) {
  nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
  if (object.is_discarded() || !object.is_object()) {
    if (!line.empty()) {
      progress.lastMessage = line;
    }
    return std::nullopt;
  }
  const std::string type = StringField(object, "type");
  if (type == "event") {
    progress.step = StringField(object, "step");
    if (object.contains("progress") && object["progress"].is_number_integer()) {
      progress.progress = object["progress"].get<int>();
    }
    progress.lastMessage = StringField(object, "message");
    if (StringField(object, "result") == "failed" && progress.failedStep.empty()) {
      progress.failedStep = progress.step;
    }
    // The identified chip ("row 18, id N8ER0") shows while the update runs; the summary
    // carries it whole at the end.
    int row = -1;
    char id[8] = {};
    if (progress.step == "identify" && StringField(object, "result") == "ok" &&
        std::sscanf(progress.lastMessage.c_str(), "row %d, id %7s", &row, id) == 2) {
      progress.chipRow = row;
      progress.chipId = id;
    }
  } else if (type == "summary") {
    if (object.contains("chip")) {
      TakeChip(progress, object["chip"]);
    }
    if (object.contains("requests") && object["requests"].is_number_unsigned()) {
      progress.requests = object["requests"].get<std::uint64_t>();
    }
    progress.lastMessage = StringField(object, "message");
    progress.summary = object;
  }
  return object;
}

VerdictReading ReadVerdict(const CameraProgress& progress, int exitCode,
                           const std::string& hangMessage) {
  VerdictReading reading;
  reading.failedStep = progress.failedStep;
  if (!hangMessage.empty()) {
    reading.message = hangMessage;
    reading.failedStep = progress.step;
    return reading;
  }
  if (!progress.summary) {
    reading.message = "the update ended without a result (exit code " + std::to_string(exitCode) +
                      ")" + (progress.lastMessage.empty() ? "" : ": " + progress.lastMessage);
    reading.failedStep = progress.step;
    return reading;
  }
  const nlohmann::json& summary = *progress.summary;
  reading.message = StringField(summary, "message");
  const int reported = summary.contains("exit_code") && summary["exit_code"].is_number_integer()
                           ? summary["exit_code"].get<int>()
                           : -1;
  const bool completed = exitCode == kExitDone || exitCode == kExitInterrupted;
  if (completed && reported == exitCode && TrueField(summary, "written") &&
      TrueField(summary, "verified") && TrueField(summary, "protection_confirmed")) {
    reading.verdict = Verdict::kPass;
    reading.failedStep.clear();
    return reading;
  }
  // No camera of ours at the port (any more): the updater's "Wrong Device".
  if (exitCode == kExitNoCamera) {
    reading.verdict = Verdict::kWrongDevice;
  }
  if (reading.failedStep.empty()) {
    reading.failedStep = progress.step;
  }
  return reading;
}

}  // namespace velkor::tool
