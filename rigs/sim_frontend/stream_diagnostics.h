// Diagnostics written as lines to a stdio stream (the front end's --diagnostics).
#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include "platform/diagnostics.h"

namespace velkor::sim {

class StreamDiagnostics : public Diagnostics {
 public:
  explicit StreamDiagnostics(std::FILE* stream) : stream_(stream) {}
  // Each text becomes one line, prefixed so it stands out from the dialog's own output.
  void Write(const char* text) override;
  // Lets a terminal that redraws in place print the line above its drawing instead.
  void SetLineWriter(std::function<void(const std::string&)> writer);

 private:
  std::FILE* stream_;
  std::mutex mutex_;
  std::function<void(const std::string&)> writer_;
};

}  // namespace velkor::sim
