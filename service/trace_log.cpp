// The --log file's lines.
#include "service/trace_log.h"

#include <ctime>

namespace velkor::tool {

TraceLog::~TraceLog() {
  if (file_ != nullptr) {
    std::fclose(file_);
  }
}

bool TraceLog::Open(const std::string& path, bool traceRequests) {
  file_ = std::fopen(path.c_str(), "w");
  traceRequests_ = traceRequests;
  start_ = std::chrono::steady_clock::now();
  return file_ != nullptr;
}

void TraceLog::Line(const std::string& text) {
  if (file_ == nullptr) {
    return;
  }
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  char stamp[32] = "";
  if (const std::tm* utc = std::gmtime(&seconds)) {
    std::strftime(stamp, sizeof(stamp), "%Y-%m-%dT%H:%M:%S", utc);
  }
  const double elapsed = duration<double>(steady_clock::now() - start_).count();
  std::fprintf(file_, "%s.%03dZ %10.6f %s\n", stamp, static_cast<int>(millis), elapsed,
               text.c_str());
  // Flushed per line: the trace is most wanted when the process does not end normally.
  std::fflush(file_);
}

}  // namespace velkor::tool
