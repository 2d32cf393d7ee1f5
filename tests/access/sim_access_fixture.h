// A simulated camera behind the real transport, installed as the process's ports, with a fresh
// access context for every test.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "access/access_context.h"
#include "access/device.h"
#include "platform/ports.h"
#include "rigs/sim/sim_world.h"
#include "transport/bound_device.h"

namespace velkor::access {

class SimAccessTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseDevice();
    context = AccessContext{};
    transport::boundDevice = transport::BoundDevice{};
    InstallPorts(Ports{});
    world_.reset();
  }

  // Builds the world around one camera of this configuration and makes it the platform.
  sim::SimWorld& StartWorld(const sim::SimCameraConfig& config) {
    context = AccessContext{};
    transport::boundDevice = transport::BoundDevice{};
    world_ = sim::MakeSingleCameraWorld(config);
    InstallPorts(sim::WorldPorts(*world_));
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
    servedBeforeLog_ = 0;
    ClearLogs();
  }

  // Starts the traffic log and the write list afresh; request numbers keep counting.
  void ClearLogs() {
    servedBeforeLog_ += ServedRequests();
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
  // Sends a write enable and a status write straight to the flash, behind the host's back, so
  // the flash is busy writing its status register when the host next looks.
  void StartStatusWriteOnTheFlash() {
    sim::SimFlash& flash = camera().flash();
    for (std::vector<std::uint8_t> session : {std::vector<std::uint8_t>{0x06}, {0x01, 0x00}}) {
      flash.Select();
      for (std::uint8_t byte : session) {
        flash.Transfer(byte);
      }
      flash.Deselect();
    }
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
  // Register traffic since the logs were cleared, in order: "1082=05" for a write, "1084?" for
  // a read (its latch request; the GET that answers it is not listed).
  std::vector<std::string> RegisterTrace() const {
    std::vector<std::string> out;
    for (const sim::TrafficRecord& t : world_->traffic()) {
      if (t.device != sim::kSimCameraDevice || t.selector != 1 || t.sent.size() != 4 ||
          (t.flags & 0x2) == 0) {
        continue;
      }
      char text[16];
      const unsigned reg = t.sent[0] | (t.sent[1] << 8);
      if (t.sent[3] == 0xFF) {
        std::snprintf(text, sizeof text, "%04X?", reg);
      } else {
        std::snprintf(text, sizeof text, "%04X=%02X", reg, t.sent[2]);
      }
      out.emplace_back(text);
    }
    return out;
  }
  // Number (as the faults count them) of the n-th logged request that matches, 0 when there is
  // none. Valid for worlds started by OpenCamera and logs cleared with ClearLogs.
  std::uint32_t NumberOf(const std::function<bool(const sim::TrafficRecord&)>& match,
                         int nth = 1) const {
    std::uint32_t number = servedBeforeLog_;
    for (const sim::TrafficRecord& t : world_->traffic()) {
      if (!Served(t)) {
        continue;
      }
      ++number;
      if (match(t) && --nth == 0) {
        return number;
      }
    }
    return 0;
  }
  // A request that reached the camera's extension unit and counts for the request faults (the
  // capture stack answers the set-support probes of topology nodes without asking the camera).
  bool Served(const sim::TrafficRecord& t) const {
    return t.device == sim::kSimCameraDevice && (t.flags & 0x100) == 0 &&
           t.nodeId == world_->device(sim::kSimCameraDevice).extensionNodeId;
  }

  // Requests the camera itself received since the traffic was last cleared.
  std::uint32_t ServedRequests() const {
    return static_cast<std::uint32_t>(
        std::count_if(world_->traffic().begin(), world_->traffic().end(),
                      [this](const sim::TrafficRecord& t) { return Served(t); }));
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
  std::uint32_t servedBeforeLog_ = 0;  // requests served before the log was last cleared
};

}  // namespace velkor::access
