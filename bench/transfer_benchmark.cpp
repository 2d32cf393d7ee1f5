// Cost of whole-image flash transfers through the access library, the transport and the
// simulated camera with its request log off, per request.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "access/access_calls.h"
#include "access/access_context.h"
#include "access/device.h"
#include "platform/ports.h"
#include "rigs/sim/sim_world.h"
#include "transport/bound_device.h"

namespace velkor {
namespace {

constexpr std::uint32_t kImageSize = 0x10000;
constexpr double kWriteRequests = kImageSize / 8.0;       // one per 8-byte piece
constexpr double kReadRequests = kImageSize / 8.0 + 1.0;  // plus the one read request

// An open, writable simulated camera installed as the process's ports for one benchmark.
class OpenCamera {
 public:
  OpenCamera() {
    sim::SimCameraConfig camera;
    camera.initialStatus = 0;  // no block protection: the writes reach the cells
    world_ = sim::MakeSingleCameraWorld(camera);
    world_->SetTrafficLogging(false);
    InstallPorts(sim::WorldPorts(*world_));
    access::context = access::AccessContext{};
    transport::boundDevice = transport::BoundDevice{};
    open_ = access::OpenDevice(sim::kSimCameraPath, 256) == 2;
  }
  ~OpenCamera() {
    access::CloseDevice();
    access::context = access::AccessContext{};
    transport::boundDevice = transport::BoundDevice{};
    InstallPorts(Ports{});
  }
  bool open() const { return open_; }

 private:
  std::unique_ptr<sim::SimWorld> world_;
  bool open_ = false;
};

// Requests per second, and the time per request: the inverted rate, which the reporter prints
// in seconds with an SI prefix ("37.3ns"; the JSON output holds seconds).
void ReportPerRequest(benchmark::State& state, double requestsPerIteration) {
  const double requests = requestsPerIteration * static_cast<double>(state.iterations());
  state.counters["requests_per_s"] = benchmark::Counter(requests, benchmark::Counter::kIsRate);
  state.counters["time_per_request"] =
      benchmark::Counter(requests, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_WriteMemoryWholeImage(benchmark::State& state) {
  OpenCamera camera;
  if (!camera.open()) {
    state.SkipWithError("the simulated camera did not open");
    return;
  }
  std::vector<std::uint8_t> image(kImageSize);
  for (std::uint32_t i = 0; i < kImageSize; ++i) {
    image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  }
  for (auto _ : state) {
    if (!access::WriteMemory(0, image.data(), kImageSize)) {
      state.SkipWithError("write failed");
      break;
    }
  }
  ReportPerRequest(state, kWriteRequests);
}
BENCHMARK(BM_WriteMemoryWholeImage)->Unit(benchmark::kMillisecond);

void BM_ReadMemoryWholeImage(benchmark::State& state) {
  OpenCamera camera;
  if (!camera.open()) {
    state.SkipWithError("the simulated camera did not open");
    return;
  }
  std::vector<std::uint8_t> buffer(kImageSize);
  for (auto _ : state) {
    if (!access::ReadMemory(0, buffer.data(), kImageSize)) {
      state.SkipWithError("read failed");
      break;
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  ReportPerRequest(state, kReadRequests);
}
BENCHMARK(BM_ReadMemoryWholeImage)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velkor

BENCHMARK_MAIN();
