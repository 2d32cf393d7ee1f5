// A capture system wrapped around the platform's, so that every extension-unit request passes
// one place: there it is counted (progress of long transfers), traced into the --log file,
// and, for the simulator, given a fixed latency.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/capture_system.h"
#include "service/trace_log.h"

namespace velkor::tool {

class RequestTap {
 public:
  // Called after each request with the number of requests so far.
  using Observer = std::function<void(std::uint64_t count)>;

  // sleeps: the latency is slept rather than spun, so that many cameras' processes wait for
  // their buses together without the processor, as on real hardware.
  void SetLatencyMicroseconds(std::uint32_t microseconds, bool sleeps = false) {
    latencyUs_ = microseconds;
    latencySleeps_ = sleeps;
  }
  void SetTrace(TraceLog* log) { log_ = log; }
  void SetObserver(Observer observer) { observer_ = std::move(observer); }
  std::uint64_t count() const { return count_; }

  // Around one KsProperty call: waits out the latency first, then forwards.
  HResult Forward(KsControl& control, const KsPropertyNode* property, std::uint32_t length,
                  void* data, std::uint32_t dataLength, std::uint32_t* bytesReturned);

 private:
  void Trace(const KsPropertyNode* property, const void* data, std::uint32_t dataLength,
             HResult result);

  std::uint32_t latencyUs_ = 0;
  bool latencySleeps_ = false;
  TraceLog* log_ = nullptr;
  Observer observer_;
  std::uint64_t count_ = 0;
};

// The wrapped capture system; inner and tap outlive it.
std::unique_ptr<CaptureSystem> TapCaptureSystem(CaptureSystem& inner, RequestTap& tap);

}  // namespace velkor::tool
