// The --log file: one line per step, result and (with --trace-requests) extension-unit
// request, each with the UTC time and the seconds since the tool started.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace velkor::tool {

class TraceLog {
 public:
  TraceLog() = default;
  ~TraceLog();
  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  // Creates (or truncates) the file. False when it cannot be opened.
  bool Open(const std::string& path, bool traceRequests);
  bool active() const { return file_ != nullptr; }
  bool tracesRequests() const { return file_ != nullptr && traceRequests_; }

  void Line(const std::string& text);

 private:
  std::FILE* file_ = nullptr;
  bool traceRequests_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace velkor::tool
