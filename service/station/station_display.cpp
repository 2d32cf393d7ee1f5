#include "service/station/station_display.h"

#include <chrono>
#include <cstdio>

namespace velkor::tool {

namespace {

constexpr int kBarWidth = 20;
constexpr const char* kGreen = "\x1b[32m";
constexpr const char* kRed = "\x1b[31m";
constexpr const char* kPlainColour = "\x1b[0m";

std::string Fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string Padded(std::string text, std::size_t width) {
  if (text.size() > width) {
    text.resize(width);
  }
  text.append(width - text.size(), ' ');
  return text;
}

std::string Identity(const CameraRow& row) {
  std::string text;
  const CameraProgress& p = row.progress;
  if (p.chipRow) {
    text = "row " + std::to_string(*p.chipRow) + " " + p.chipId;
    if (p.chipVersion) {
      text += " v" + std::to_string(*p.chipVersion);
    }
  }
  if (!row.serial.empty()) {
    text += text.empty() ? "SN " : " SN ";
    text += row.serial;
  }
  return text.empty() ? "-" : text;
}

std::string Bar(int percent) {
  const auto filled = static_cast<std::size_t>(percent * kBarWidth / 100);
  std::string bar = "[";
  bar.append(filled, '#');
  bar.append(kBarWidth - filled, '-');
  bar += "] ";
  return bar + Padded(std::to_string(percent) + "%", 4);
}

std::string CountsLine(const StationCounts& counts) {
  return "passed " + std::to_string(counts.passed) + "  failed " + std::to_string(counts.failed) +
         "  running " + std::to_string(counts.running) + "  " + Fixed(counts.perHour, 0) +
         " per hour";
}

nlohmann::json ChipFields(const CameraProgress& p) {
  nlohmann::json chip = nullptr;
  if (p.chipRow) {
    chip = {{"row", *p.chipRow}, {"id", p.chipId}};
    chip["version"] = p.chipVersion ? nlohmann::json(*p.chipVersion) : nlohmann::json(nullptr);
  }
  return chip;
}

std::string Dump(const nlohmann::json& object) {
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string ShortPort(const std::string& port) {
  // \\?\usb#vid_XXXX&pid_XXXX&mi_00#INSTANCE#{class}\global: the instance tells ports apart.
  const std::size_t first = port.find('#');
  if (first != std::string::npos) {
    const std::size_t second = port.find('#', first + 1);
    if (second != std::string::npos) {
      const std::size_t third = port.find('#', second + 1);
      return port.substr(second + 1,
                         third == std::string::npos ? std::string::npos : third - second - 1);
    }
  }
  return port;
}

StationDisplay::StationDisplay(DisplayMode mode, std::FILE* out) : mode_(mode), out_(out) {}

void StationDisplay::Clear() {
  if (mode_ == DisplayMode::kTable && tableLines_ > 0) {
    std::fprintf(out_, "\x1b[%dF\x1b[J", tableLines_);
    tableLines_ = 0;
  }
}

void StationDisplay::Plain(const std::string& port, const std::string& text) {
  std::fprintf(out_, "%s: %s\n", port.c_str(), text.c_str());
  std::fflush(out_);
}

void StationDisplay::Note(const std::string& text) {
  if (mode_ == DisplayMode::kJson) {
    std::fprintf(out_, "%s\n",
                 Dump({{"type", "station"}, {"event", "note"}, {"message", text}}).c_str());
  } else {
    Clear();
    std::fprintf(out_, "station: %s\n", text.c_str());
  }
  std::fflush(out_);
}

void StationDisplay::CameraStarted(const CameraRow& row) {
  if (mode_ == DisplayMode::kJson) {
    nlohmann::json event = {
        {"type", "station"}, {"event", "started"}, {"port", row.port}, {"counter", row.counter}};
    event["serial"] = row.serial.empty() ? nlohmann::json(nullptr) : nlohmann::json(row.serial);
    std::fprintf(out_, "%s\n", Dump(event).c_str());
    std::fflush(out_);
  } else if (mode_ == DisplayMode::kPlain) {
    Plain(row.port, "update started (attempt " + std::to_string(row.counter) + ")");
  }
}

void StationDisplay::ChildObject(const CameraRow& row, const nlohmann::json& object) {
  if (mode_ == DisplayMode::kJson) {
    // A camera's own summary goes out inside its "ended" object: the station's summary stays
    // the one summary, and the last line.
    if (object.value("type", "") != "event") {
      return;
    }
    nlohmann::json copy = object;
    copy["port"] = row.port;
    std::fprintf(out_, "%s\n", Dump(copy).c_str());
    std::fflush(out_);
    return;
  }
  if (mode_ != DisplayMode::kPlain || !object.contains("type") || object["type"] != "event") {
    return;
  }
  const std::string result = object.value("result", "");
  const std::string step = object.value("step", "");
  if (result == "started") {
    Plain(row.port, step + ": " + object.value("message", ""));
  } else if (result == "failed") {
    Plain(row.port, step + " failed: " + object.value("message", ""));
  }
}

void StationDisplay::CameraEnded(const CameraRow& row) {
  const VerdictReading& r = row.reading;
  if (mode_ == DisplayMode::kJson) {
    nlohmann::json event = {{"type", "station"},
                            {"event", "ended"},
                            {"port", row.port},
                            {"counter", row.counter},
                            {"verdict", VerdictText(r.verdict)},
                            {"result", VerdictWord(r.verdict)},
                            {"message", r.message},
                            {"seconds", row.seconds},
                            {"requests", row.progress.requests},
                            {"peak_memory_kb", row.peakMemoryKb},
                            {"chip", ChipFields(row.progress)}};
    event["summary"] = row.progress.summary ? *row.progress.summary : nlohmann::json(nullptr);
    event["failed_step"] =
        r.failedStep.empty() ? nlohmann::json(nullptr) : nlohmann::json(r.failedStep);
    std::fprintf(out_, "%s\n", Dump(event).c_str());
    std::fflush(out_);
  } else if (mode_ == DisplayMode::kPlain) {
    std::string text = std::string(VerdictText(r.verdict)) + " in " + Fixed(row.seconds, 1) +
                       " s (" + Identity(row) + ")";
    if (r.verdict != Verdict::kPass) {
      text += (r.failedStep.empty() ? "" : " at " + r.failedStep) + ": " + r.message;
    }
    Plain(row.port, text);
  }
}

void StationDisplay::Refresh(const std::vector<const CameraRow*>& rows, const StationCounts& counts,
                             bool force) {
  if (mode_ != DisplayMode::kTable) {
    return;
  }
  // A few redraws a second are enough to watch; more only cost the terminal.
  const auto now = std::chrono::steady_clock::now();
  if (!force && tableLines_ > 0 && now - lastDrawn_ < std::chrono::milliseconds(200)) {
    return;
  }
  lastDrawn_ = now;
  Clear();
  std::string text = Padded("PORT", 22) + Padded("CAMERA", 28) + Padded("STEP", 12) +
                     Padded("PROGRESS", 28) + Padded("VERDICT", 14) + "TIME\n";
  for (const CameraRow* row : rows) {
    const bool ended = row->verdict != Verdict::kRunning;
    const char* colour = row->verdict == Verdict::kPass ? kGreen : ended ? kRed : "";
    text += Padded(ShortPort(row->port), 22) + Padded(Identity(*row), 28) +
            Padded(row->verdict == Verdict::kRunning || row->verdict == Verdict::kPass
                       ? row->progress.step
                       : row->reading.failedStep,
                   12) +
            Padded(Bar(ended ? 100 : row->progress.progress), 28) + colour +
            Padded(VerdictText(row->verdict), 14) + (ended ? kPlainColour : "") +
            Fixed(row->seconds, 1) + " s\n";
  }
  text += CountsLine(counts) + "\n";
  std::fputs(text.c_str(), out_);
  std::fflush(out_);
  tableLines_ = static_cast<int>(rows.size()) + 2;
}

void StationDisplay::Finished(const StationCounts& counts, const nlohmann::json& details,
                              int exitCode) {
  if (mode_ == DisplayMode::kJson) {
    nlohmann::json summary = details;
    summary["type"] = "summary";
    summary["command"] = "station";
    summary["passed"] = counts.passed;
    summary["failed"] = counts.failed;
    summary["exit_code"] = exitCode;
    summary["result"] = exitCode == 0 ? "ok" : exitCode == 3 ? "no-camera" : "check-failed";
    summary["message"] = CountsLine(counts);
    std::fprintf(out_, "%s\n", Dump(summary).c_str());
  } else {
    std::fprintf(out_, "station: %s\n", CountsLine(counts).c_str());
  }
  std::fflush(out_);
}

}  // namespace velkor::tool
