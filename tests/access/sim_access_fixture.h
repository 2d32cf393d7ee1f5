// A simulated camera behind the real transport, installed as the process's ports, with a fresh
// access context for every test.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "access/access_context.h"
#include "access/device.h"
#include "platform/ports.h"
#include "platform/sim/sim_world.h"

namespace velkor::access {

class SimAccessTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseDevice();
    context = AccessContext{};
    InstallPorts(Ports{});
    world_.reset();
  }

  // Builds the world around one camera of this configuration and makes it the platform.
  sim::SimWorld& StartWorld(const sim::SimCameraConfig& config) {
    context = AccessContext{};
    world_ = sim::MakeSingleCameraWorld(config);
    Ports ports;
    ports.captureSystem = world_.get();
    ports.deviceTree = world_.get();
    ports.clock = &world_->clock();
    InstallPorts(ports);
    return *world_;
  }

  // Opens the camera as the application does: a 256-character path buffer.
  int Open() {
    char16_t path[256] = {};
    for (int i = 0; i < 255 && sim::kSimCameraPath[i] != 0; ++i) {
      path[i] = sim::kSimCameraPath[i];
    }
    return OpenDevice(path, 256);
  }

  // Opens a camera of this configuration and starts the logs afresh.
  void OpenCamera(const sim::SimCameraConfig& config) {
    StartWorld(config);
    ASSERT_EQ(Open(), 2);
    world_->ClearTraffic();
    writesBefore_ = camera().registerWrites().size();
  }

  sim::SimWorld& world() { return *world_; }

  // Nothing the host did would have been mishandled by a real camera.
  void ExpectNoViolations() {
    const auto record = world_->Violations();
    EXPECT_TRUE(record.empty()) << sim::SimViolationsText(record);
  }
  // The host handed the flash interface back: interface off, flash deselected.
  void ExpectFlashInterfaceReleased() {
    EXPECT_EQ(camera().Register(0x1080), 0);
    EXPECT_EQ(camera().Register(0x1091), 1);
  }
  sim::SimCamera& camera() { return *world_->device(sim::kSimCameraDevice).camera; }
  sim::SimRequestFaults& faults() { return world_->device(sim::kSimCameraDevice).faults; }

  // Register writes since OpenCamera, as (register, value) pairs.
  std::vector<std::pair<std::uint16_t, std::uint8_t>> Writes() const {
    std::vector<std::pair<std::uint16_t, std::uint8_t>> out;
    const auto& all = world_->device(sim::kSimCameraDevice).camera->registerWrites();
    for (std::size_t i = writesBefore_; i < all.size(); ++i) {
      out.emplace_back(all[i].reg, all[i].value);
    }
    return out;
  }
  std::vector<std::uint8_t> WritesTo(std::uint16_t reg) const {
    std::vector<std::uint8_t> out;
    for (const auto& [r, v] : Writes()) {
      if (r == reg) {
        out.push_back(v);
      }
    }
    return out;
  }
  bool Wrote(std::uint16_t reg) const { return !WritesTo(reg).empty(); }

  // Bytes sent to the flash through the data-out register, each followed by a send.
  std::vector<std::uint8_t> FlashCommandBytes() const {
    std::vector<std::uint8_t> out;
    std::uint8_t pending = 0;
    for (const auto& [r, v] : Writes()) {
      if (r == 0x1082) {
        pending = v;
      } else if (r == 0x1081 && v == 1) {
        out.push_back(pending);
      }
    }
    return out;
  }

  // Registers read since the traffic was last cleared, in order.
  std::vector<std::uint16_t> RegisterReads() const {
    std::vector<std::uint16_t> out;
    for (const sim::TrafficRecord& t : world_->traffic()) {
      if (t.device == sim::kSimCameraDevice && t.selector == 1 && t.sent.size() == 4 &&
          t.sent[3] == 0xFF) {
        out.push_back(static_cast<std::uint16_t>(t.sent[0] | (t.sent[1] << 8)));
      }
    }
    return out;
  }
  bool ReadRegisterSent(std::uint16_t reg) const {
    const auto reads = RegisterReads();
    return std::find(reads.begin(), reads.end(), reg) != reads.end();
  }
  // Requests the camera itself received since the world started (the capture stack answers the
  // set-support probes of topology nodes without asking the camera).
  std::uint32_t ServedRequests() const {
    std::uint32_t n = 0;
    for (const sim::TrafficRecord& t : world_->traffic()) {
      n += t.device == sim::kSimCameraDevice && (t.flags & 0x100) == 0 &&
                   t.nodeId == world_->device(sim::kSimCameraDevice).extensionNodeId
               ? 1
               : 0;
    }
    return n;
  }
  // Requests for the controller's own whole-flash erase.
  int ControllerErases() const {
    int n = 0;
    for (const sim::TrafficRecord& t : world_->traffic()) {
      n += t.device == sim::kSimCameraDevice && t.selector == 3 && t.sent.size() == 12 &&
                   t.sent[2] == 0xC8
               ? 1
               : 0;
    }
    return n;
  }

  std::unique_ptr<sim::SimWorld> world_;
  std::size_t writesBefore_ = 0;
};

}  // namespace velkor::access
