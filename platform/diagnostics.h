// Diagnostics port: where the transport's failure texts go. The updater wires none (it
// reports only through its window and the verdict file); tools and tests may listen.
#pragma once

namespace velkor {

class Diagnostics {
 public:
  virtual ~Diagnostics() = default;
  virtual void Write(const char* text) = 0;
};

}  // namespace velkor
