// A small host that drives a simulated camera's requests directly, register by register, so
// that a test can play a correct host or one with a chosen mistake and see what the camera
// makes of it. It knows nothing of the access library.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "rigs/sim/sim_camera.h"

namespace velkor::sim::testing {

class FlashPortHost {
 public:
  static constexpr std::uint32_t kGet = 0x10000001;
  static constexpr std::uint32_t kSet = 0x10000002;

  explicit FlashPortHost(SimCamera& camera) : camera_(camera) {}

  // Requests sent so far: the camera numbers its requests from 1 in the same order.
  std::uint32_t requests() const { return requests_; }
  // The numbers of the requests that wrote 0x1081 (each starts a byte transfer), in order.
  const std::vector<std::uint32_t>& transferStarts() const { return transferStarts_; }

  void Write(std::uint16_t reg, std::uint8_t value) {
    std::uint8_t payload[4] = {Low(reg), High(reg), value, 0x00};
    Send(1, kSet, payload, 4);
    if (reg == 0x1081) {
      transferStarts_.push_back(requests_);
    }
  }
  std::uint8_t Read(std::uint16_t reg) {
    std::uint8_t payload[4] = {Low(reg), High(reg), 0x00, 0xFF};
    Send(1, kSet, payload, 4);
    std::uint8_t reply[4] = {};
    Send(1, kGet, reply, 4);
    return reply[2];
  }

  // Polls the done flag until it reads 1, as a correct host does after every byte.
  void WaitDone() {
    for (int poll = 0; poll < 100; ++poll) {
      if (Read(0x1084) == 1) {
        return;
      }
    }
    ADD_FAILURE() << "done flag never read 1";
  }
  void SendByte(std::uint8_t byte) {
    Write(0x1082, byte);
    Write(0x1081, 1);
    WaitDone();
  }
  // Select, each byte with its done poll, deselect.
  void Command(std::initializer_list<std::uint8_t> bytes) {
    Write(0x1091, 0);
    for (std::uint8_t byte : bytes) {
      SendByte(byte);
    }
    Write(0x1091, 1);
  }
  std::uint8_t ReadStatus() {
    Write(0x1091, 0);
    SendByte(0x05);
    Write(0x1083, 0);
    Write(0x1081, 2);
    WaitDone();
    const std::uint8_t status = Read(0x1083);
    Write(0x1091, 1);
    return status;
  }
  // Drives the default board's pin 3 low, which (through its inverter) lifts WP#.
  void ReleaseWriteProtectPin() {
    Write(0x1007, 0x08);
    Write(0x1006, 0xF7);
  }
  // The flash-access setup values for a flash of this kind, and the power-up values back.
  void SetUpFlashAccess(int kind) {
    Write(0x5F3, 0x06);
    Write(0x5F8, 0x12);
    Write(0x5F9, 0x12);
    Write(0x5FA, 0xED);
    Write(0x5FB, 0xED);
    Write(0x5F5, kind == 3 ? 0xAF : 0x02);
  }
  void RestoreFlashAccess() {
    Write(0x5F3, SimCamera::kPowerUpReg5F3);
    Write(0x5F5, SimCamera::kPowerUpReg5F5);
    for (std::uint16_t reg = 0x5F8; reg <= 0x5FB; ++reg) {
      Write(reg, SimCamera::kPowerUpReg5F8To5FB);
    }
  }

  // Selector 3: a program of up to 8 bytes, a read request, one data reply, the controller's
  // erase. Selector 4: one controller-memory reply.
  void FlashProgram(std::uint16_t address, std::initializer_list<std::uint8_t> data) {
    std::array<std::uint8_t, 12> payload{Low(address), High(address),
                                         static_cast<std::uint8_t>(data.size())};
    std::copy(data.begin(), data.end(), payload.begin() + 3);
    Send(3, kSet, payload.data(), 12);
  }
  void FlashReadRequest(std::uint16_t address, std::uint8_t count) {
    std::array<std::uint8_t, 12> payload{Low(address), High(address),
                                         static_cast<std::uint8_t>(0x80 | count)};
    Send(3, kSet, payload.data(), 12);
  }
  std::array<std::uint8_t, 12> FlashReadData() {
    std::array<std::uint8_t, 12> reply{};
    Send(3, kGet, reply.data(), 12);
    return reply;
  }
  void ControllerErase() {
    std::array<std::uint8_t, 12> payload{0x00, 0x00, 0xC8};
    Send(3, kSet, payload.data(), 12);
  }
  std::array<std::uint8_t, 12> MemoryRead(std::uint16_t address) {
    std::array<std::uint8_t, 12> payload{Low(address), High(address), 0x08};
    Send(4, kSet, payload.data(), 12);
    std::array<std::uint8_t, 12> reply{};
    Send(4, kGet, reply.data(), 12);
    return reply;
  }

 private:
  static std::uint8_t Low(std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); }
  static std::uint8_t High(std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); }

  void Send(std::uint32_t selector, std::uint32_t flags, std::uint8_t* payload,
            std::uint32_t length) {
    ++requests_;
    EXPECT_EQ(camera_.HandleRequest(selector, flags, payload, length), hr::kOk)
        << "request " << requests_;
  }

  SimCamera& camera_;
  std::uint32_t requests_ = 0;
  std::vector<std::uint32_t> transferStarts_;
};

}  // namespace velkor::sim::testing
