// Shared set-up of the transport tests: a simulated world installed as the process's ports and
// a fresh access context per test, with helpers to read the request log.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "access/access_context.h"
#include "platform/ports.h"
#include "rigs/sim/sim_world.h"
#include "transport/bound_device.h"

namespace velkor::transport::testing {

// Collects the diagnostic texts the transport writes.
class RecordingDiagnostics : public Diagnostics {
 public:
  void Write(const char* text) override { texts.emplace_back(text); }
  std::vector<std::string> texts;
};

using Bytes = std::vector<std::uint8_t>;

// A payload of size bytes that starts with the given bytes and is zero after them.
inline Bytes Payload(std::size_t size, std::initializer_list<std::uint8_t> head) {
  Bytes bytes(size, 0);
  std::copy(head.begin(), head.end(), bytes.begin());
  return bytes;
}

class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    access::context = access::AccessContext{};
    transport::boundDevice = transport::BoundDevice{};
  }

  void TearDown() override {
    // The filter must go while the world that made it still exists.
    access::context = access::AccessContext{};
    transport::boundDevice = transport::BoundDevice{};
    if (directSession_) {
      world_->EndSession();
    }
    InstallPorts(Ports{});
  }

  // Installs world as capture system, device tree and clock.
  void Install(std::unique_ptr<sim::SimWorld> world) {
    world_ = std::move(world);
    Ports ports = sim::WorldPorts(*world_);
    ports.diagnostics = &diagnostics_;
    InstallPorts(ports);
  }

  // A world with one camera of the given configuration.
  void InstallCamera(const sim::SimCameraConfig& camera) {
    Install(sim::MakeSingleCameraWorld(camera));
  }

  // A camera whose flash takes writes: no protection bits, erased content.
  static sim::SimCameraConfig WritableCamera() {
    sim::SimCameraConfig camera;
    camera.initialStatus = 0;
    return camera;
  }

  // Puts the camera device's filter into the bound-filter field with the node id its extension
  // unit answers on, without sending any request: the request counter of the device stays at
  // 0, so fault numbers count from the test's own requests.
  void BindCameraDirectly(int index = sim::kSimCameraDevice) {
    world_->BeginSession();
    directSession_ = true;
    std::unique_ptr<SystemDeviceEnumerator> system;
    ASSERT_EQ(world_->CreateSystemDeviceEnumerator(&system), hr::kOk);
    std::unique_ptr<CaptureDeviceEnumerator> devices;
    ASSERT_EQ(system->CreateVideoInputEnumerator(&devices), hr::kOk);
    std::unique_ptr<CaptureDevice> device;
    for (int i = 0; i <= index; ++i) {
      ASSERT_EQ(devices->Next(&device), hr::kOk);
    }
    ASSERT_EQ(device->BindToObject(&boundDevice.filter), hr::kOk);
    boundDevice.extensionNodeId = world_->device(index).extensionNodeId;
  }

  sim::SimWorld& world() { return *world_; }
  // The camera's capture device in a single-camera world.
  sim::SimCaptureDeviceConfig& target() { return world_->device(sim::kSimCameraDevice); }
  const std::vector<sim::TrafficRecord>& traffic() const { return world_->traffic(); }
  RecordingDiagnostics& diagnostics() { return diagnostics_; }

 private:
  std::unique_ptr<sim::SimWorld> world_;
  RecordingDiagnostics diagnostics_;
  bool directSession_ = false;
};

}  // namespace velkor::transport::testing
