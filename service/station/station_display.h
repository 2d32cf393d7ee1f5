// What the station shows: a live table on a terminal, plain lines otherwise, or one JSON object
// per event. Called from the station's main thread only.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "service/station/camera_run.h"

namespace velkor::tool {

struct CameraRow {
  std::string port;
  std::string serial;
  std::int64_t counter = 0;  // the attempt's number in the record
  CameraProgress progress;
  Verdict verdict = Verdict::kRunning;
  VerdictReading reading;  // once ended
  double seconds = 0;      // so far, or in all once ended
  long peakMemoryKb = 0;   // the child's peak resident memory, once ended; 0 unknown
};

struct StationCounts {
  int passed = 0;
  int failed = 0;
  int running = 0;
  double perHour = 0;  // verdicts per hour since the station started
};

enum class DisplayMode { kTable, kPlain, kJson };

class StationDisplay {
 public:
  StationDisplay(DisplayMode mode, std::FILE* out);

  void Note(const std::string& text);
  void CameraStarted(const CameraRow& row);
  // A JSON object the camera's child wrote (an event or its summary).
  void ChildObject(const CameraRow& row, const nlohmann::json& object);
  void CameraEnded(const CameraRow& row);
  // The whole picture, redrawn on a terminal (at most a few times a second).
  void Refresh(const std::vector<const CameraRow*>& rows, const StationCounts& counts,
               bool force = false);
  void Finished(const StationCounts& counts, const nlohmann::json& details, int exitCode);

 private:
  void Clear();
  void Plain(const std::string& port, const std::string& text);

  DisplayMode mode_;
  std::FILE* out_;
  int tableLines_ = 0;  // lines of the table drawn last, to redraw in place
  std::chrono::steady_clock::time_point lastDrawn_;
};

// A port path short enough for a table column: a USB device path's instance part, otherwise
// the path itself.
std::string ShortPort(const std::string& port);

}  // namespace velkor::tool
