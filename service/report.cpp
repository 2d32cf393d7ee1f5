// Human and JSON output of the tool.
#include "service/report.h"

#include "service/exit_codes.h"

namespace velkor::tool {

namespace {

constexpr int kBarWidth = 30;

}  // namespace

const char* ResultWord(int exitCode) {
  switch (exitCode) {
    case kExitDone:
      return "ok";
    case kExitCheckFailed:
      return "check-failed";
    case kExitUsage:
      return "usage-error";
    case kExitNoCamera:
      return "no-camera";
    case kExitCameraFailed:
      return "camera-failed";
    case kExitInterrupted:
      return "interrupted";
    default:
      return "failed";
  }
}

Report::Report(ReportSettings settings, std::FILE* out, std::FILE* err, TraceLog& log)
    : settings_(std::move(settings)), out_(out), err_(err), log_(log) {}

void Report::WriteJson(const nlohmann::json& object) {
  // Replacement instead of an exception for bytes that are not UTF-8 (a device name, say).
  const std::string line = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  std::fprintf(out_, "%s\n", line.c_str());
  std::fflush(out_);
}

void Report::Event(const std::string& step, const char* result, int progress,
                   const std::string& message) {
  std::string logLine = "step " + step + " " + result + " " + std::to_string(progress) + "%";
  if (!message.empty()) {
    logLine += ": " + message;
  }
  log_.Line(logLine);
  if (!settings_.json) {
    return;
  }
  nlohmann::json event = {{"type", "event"},
                          {"command", settings_.command},
                          {"step", step},
                          {"result", result},
                          {"progress", progress}};
  if (!message.empty()) {
    event["message"] = message;
  }
  WriteJson(event);
}

void Report::EndBar() {
  if (barShown_) {
    std::fputc('\n', out_);
    barShown_ = false;
    barPercent_ = -1;
  }
}

void Report::Started(const std::string& step, const std::string& message) {
  lastTenth_[step] = 0;
  Event(step, "started", 0, message);
  if (!settings_.json && !settings_.quiet) {
    EndBar();
    std::fprintf(out_, "%s: %s\n", step.c_str(), message.c_str());
    std::fflush(out_);
  }
}

void Report::Progress(const std::string& step, int percent) {
  percent = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
  if (!settings_.json && !settings_.quiet && settings_.terminal && percent != barPercent_) {
    const int filled = percent * kBarWidth / 100;
    std::fprintf(out_, "\r  %-8s [%s%s] %3d%%", step.c_str(), std::string(filled, '#').c_str(),
                 std::string(kBarWidth - filled, ' ').c_str(), percent);
    std::fflush(out_);
    barShown_ = true;
    barPercent_ = percent;
  }
  const int tenth = percent / 10;
  int& last = lastTenth_[step];
  if (tenth <= last || percent >= 100) {
    return;  // 100% is the step's result
  }
  last = tenth;
  if (settings_.json && settings_.quiet) {
    log_.Line("step " + step + " running " + std::to_string(tenth * 10) + "%");
    return;  // quiet JSON: steps and results only
  }
  Event(step, "running", tenth * 10, "");
  if (!settings_.json && !settings_.quiet && !settings_.terminal) {
    std::fprintf(out_, "%s: %d%%\n", step.c_str(), tenth * 10);
    std::fflush(out_);
  }
}

void Report::Finished(const std::string& step, bool ok, const std::string& message) {
  Event(step, ok ? "ok" : "failed", 100, message);
  if (settings_.json) {
    return;
  }
  EndBar();
  if (!ok) {
    std::fprintf(err_, "%s: %s failed: %s\n", settings_.program.c_str(), step.c_str(),
                 message.c_str());
    std::fflush(err_);
  } else if (!settings_.quiet) {
    std::fprintf(out_, "%s: %s\n", step.c_str(), message.c_str());
    std::fflush(out_);
  }
}

void Report::Skipped(const std::string& step, const std::string& message) {
  Event(step, "skipped", 0, message);
  if (!settings_.json && !settings_.quiet) {
    EndBar();
    std::fprintf(out_, "%s: skipped, %s\n", step.c_str(), message.c_str());
    std::fflush(out_);
  }
}

void Report::Text(const std::string& line) {
  log_.Line(line);
  if (!settings_.json) {
    EndBar();
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
  }
}

void Report::Document(const std::string& text) {
  log_.Line("document of " + std::to_string(text.size()) + " bytes");
  if (!settings_.json) {
    EndBar();
    std::fputs(text.c_str(), out_);
    std::fflush(out_);
  }
}

void Report::Warning(const std::string& message) {
  log_.Line("warning: " + message);
  if (!settings_.json) {
    EndBar();
  }
  std::fprintf(err_, "%s: %s\n", settings_.program.c_str(), message.c_str());
  std::fflush(err_);
}

void Report::Summary(nlohmann::json fields, int exitCode, const std::string& message) {
  log_.Line("summary: exit code " + std::to_string(exitCode) + ", " + message);
  if (settings_.json) {
    fields["type"] = "summary";
    fields["command"] = settings_.command;
    fields["exit_code"] = exitCode;
    fields["result"] = ResultWord(exitCode);
    fields["message"] = message;
    WriteJson(fields);
    return;
  }
  EndBar();
  if (exitCode != kExitDone) {
    std::fprintf(err_, "%s: %s\n", settings_.program.c_str(), message.c_str());
    std::fflush(err_);
  } else if (!settings_.quiet) {
    std::fprintf(out_, "%s\n", message.c_str());
    std::fflush(out_);
  }
}

}  // namespace velkor::tool
