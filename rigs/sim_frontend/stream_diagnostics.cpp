// StreamDiagnostics: one prefixed line per diagnostic text.
#include "rigs/sim_frontend/stream_diagnostics.h"

namespace velkor::sim {

void StreamDiagnostics::Write(const char* text) {
  std::string line = "diagnostics: ";
  line += text != nullptr ? text : "";
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
    line.pop_back();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (writer_) {
    writer_(line);
    return;
  }
  std::fprintf(stream_, "%s\n", line.c_str());
  std::fflush(stream_);
}

void StreamDiagnostics::SetLineWriter(std::function<void(const std::string&)> writer) {
  std::lock_guard<std::mutex> lock(mutex_);
  writer_ = std::move(writer);
}

}  // namespace velkor::sim
