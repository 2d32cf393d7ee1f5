// Answers that only a careful host reads right: a probe register that keeps some of its bits, a
// node probe that must be exactly the probe and may answer S_FALSE, read replies that carry
// poison beyond the bytes asked for, and the world's numbering of violations.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "flash_port_host.h"
#include "rigs/sim/sim_world.h"
#include "vendor_requests.h"

namespace velkor::sim {
namespace {

using testing::FlashPortHost;

std::vector<std::uint8_t> Counting(std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) {
    bytes[i] = static_cast<std::uint8_t>(i);
  }
  return bytes;
}

// The row-15 probe as a host runs it: set bits 4..6, read back. A strict host wants all three
// back; a lax one takes any of them as the full build.
struct ProbeVerdicts {
  std::uint8_t readBack;
  bool strict;
  bool lax;
};
ProbeVerdicts RunRowFifteenProbe(FlashPortHost& host) {
  const std::uint8_t before = host.Read(0x1185);
  host.Write(0x1185, static_cast<std::uint8_t>(before | 0x70));
  const std::uint8_t after = host.Read(0x1185);
  return {after, (after & 0x70) == 0x70, (after & 0x70) != 0};
}

TEST(SimStrictReplies, ProbeRegisterKeepingSomeBitsIsTheOtherBuildWhichALaxHostMisses) {
  VirtualClock clock;
  SimCameraConfig config;
  config.chipRow = 15;
  config.probeBitsKept = 0x30;
  SimCamera camera(config, clock);
  FlashPortHost host(camera);

  const ProbeVerdicts verdicts = RunRowFifteenProbe(host);

  EXPECT_EQ(verdicts.readBack & 0x70, 0x30);
  EXPECT_FALSE(verdicts.strict);
  EXPECT_TRUE(verdicts.lax) << "the lax host takes the partial answer for the full build";
  // The camera cannot see how the host judges the answer: nothing to record.
  EXPECT_TRUE(camera.violations().empty());
}

// A host that asks for one byte and copies the whole reply takes poison for the next seven,
// where a forgiving camera would have handed it the flash's next bytes.
TEST(SimStrictReplies, FlashReadReplyCarriesPoisonBeyondTheCountAskedFor) {
  VirtualClock clock;
  SimCameraConfig config;
  config.initialFlash = Counting(256);
  SimCamera camera(config, clock);
  FlashPortHost host(camera);

  host.FlashReadRequest(0x0020, 1);
  const auto one = host.FlashReadData();
  host.FlashReadRequest(0x0028, 3);
  const auto three = host.FlashReadData();

  EXPECT_EQ(one[3], 0x20);
  EXPECT_EQ(three[3], 0x28);
  EXPECT_EQ(three[5], 0x2A);
  for (int i = 1; i < 8; ++i) {
    EXPECT_EQ(one[3 + i], SimCamera::kReplyPoison[i % 4]) << i;
    EXPECT_NE(one[3 + i], config.initialFlash[0x20 + i]) << "copied past the count";
  }
  for (int i = 3; i < 8; ++i) {
    EXPECT_EQ(three[3 + i], SimCamera::kReplyPoison[i % 4]) << i;
  }
  EXPECT_TRUE(camera.violations().empty());
}

TEST(SimStrictReplies, MemoryReadReplyCarriesPoisonBeyondItsCount) {
  VirtualClock clock;
  SimCameraConfig config;
  config.chipRow = 0;  // record "K7DR" at 0x9FF8
  config.memoryReadCount = 5;
  SimCamera camera(config, clock);
  FlashPortHost host(camera);

  const auto reply = host.MemoryRead(0x9FF8);

  EXPECT_EQ(reply[2], 5);
  EXPECT_EQ(reply[3], 'K');
  EXPECT_EQ(reply[7], camera.Memory(0x9FFC));
  for (int i = 5; i < 8; ++i) {
    EXPECT_EQ(reply[3 + i], SimCamera::kReplyPoison[i % 4]) << i;
    EXPECT_NE(reply[3 + i], camera.Memory(static_cast<std::uint16_t>(0x9FF8 + i))) << i;
  }
}

class SimStrictProbe : public ::testing::Test {
 protected:
  void SetUp() override { world_ = MakeSingleCameraWorld(SimCameraConfig{}); }

  HResult Probe(std::uint32_t node, std::uint32_t id, std::uint32_t flags, void* data,
                std::uint32_t length) {
    const KsPropertyNode probe{kVendorSet, id, flags, node, 0};
    return world_->RouteToNode(kSimCameraDevice, node, &probe, sizeof probe, data, length);
  }
  // The node search of a host that accepts `accepted` as the only answer, or any success code.
  int FindNode(bool onlyOk) {
    const auto& nodes = world_->device(kSimCameraDevice).topology;
    for (std::uint32_t node = 0; node < nodes.size(); ++node) {
      const HResult result = Probe(node, 0, kSetSupport, nullptr, 0);
      if (onlyOk ? result == hr::kOk : result >= 0) {
        return static_cast<int>(node);
      }
    }
    return -1;
  }

  std::unique_ptr<SimWorld> world_;
};

TEST_F(SimStrictProbe, OnlyTheExactProbeIsAnsweredAndEveryOtherFormIsRecorded) {
  std::uint8_t buffer[4] = {};
  EXPECT_EQ(Probe(2, 0, kSetSupport, nullptr, 0), hr::kOk);
  EXPECT_TRUE(world_->Violations().empty());

  EXPECT_LT(Probe(2, 0, kSetSupport, buffer, sizeof buffer), 0);
  EXPECT_LT(Probe(2, 1, kSetSupport, nullptr, 0), 0);
  EXPECT_LT(Probe(2, 0, kSetSupport | 0x1, nullptr, 0), 0);

  const auto record = world_->Violations();
  ASSERT_EQ(record.size(), 3u) << SimViolationsText(record);
  for (const SimViolation& violation : record) {
    EXPECT_EQ(violation.kind, SimViolationKind::kMalformedNodeProbe);
    EXPECT_EQ(violation.request, 0u);
    EXPECT_EQ(violation.reg, 2);
    EXPECT_EQ(violation.device, kSimCameraDevice);
  }
  EXPECT_EQ(record[0].state, "node 2 probed with id 0, flags 0x10000100, a buffer of 4");
  EXPECT_EQ(record[1].value, 1);
  world_->ClearViolations();
  EXPECT_TRUE(world_->Violations().empty());
}

// A unit that answers the probe with S_FALSE still answers it; a host that wants exactly S_OK
// walks past its own camera.
TEST_F(SimStrictProbe, ProbeAnsweredWithAnotherSuccessCodeIsMissedByAHostThatWantsSOk) {
  world_->device(kSimCameraDevice).topology[2].probeResult = hr::kFalse;

  EXPECT_EQ(FindNode(/*onlyOk=*/false), 2);
  EXPECT_EQ(FindNode(/*onlyOk=*/true), -1);
  EXPECT_TRUE(world_->Violations().empty());
}

// Behind the world, a violation carries the request's number as the request faults count it.
TEST(SimStrictWorld, ViolationsNameTheDeviceAndTheRequestAsTheFaultsCountIt) {
  SimCameraConfig config;
  config.chipRow = 11;
  config.transferBusyPolls = 1;
  auto world = MakeSingleCameraWorld(config);
  auto write = [&](std::uint16_t reg, std::uint8_t value) {
    std::uint8_t payload[4] = {static_cast<std::uint8_t>(reg & 0xFF),
                               static_cast<std::uint8_t>(reg >> 8), value, 0};
    const KsPropertyNode property{kVendorSet, 1, 0x10000002, 2, 0};
    return world->Route(kSimCameraDevice, &property, sizeof property, payload, 4);
  };
  // Request 2 is lost on its way: it is counted, and the camera's numbering follows the count.
  world->device(kSimCameraDevice).faults.failRequestNumber = 2;
  write(0x1080, 1);
  write(0x1007, 0x00);
  write(0x1091, 0);
  write(0x1082, 0x06);
  write(0x1081, 1);
  EXPECT_EQ(write(0x1091, 1), hr::kOk);

  const auto record = world->Violations();
  ASSERT_EQ(record.size(), 1u) << SimViolationsText(record);
  EXPECT_EQ(record[0].kind, SimViolationKind::kDeselectWhileShifting);
  EXPECT_EQ(record[0].request, 6u);
  EXPECT_EQ(record[0].device, kSimCameraDevice);
  EXPECT_EQ(record[0].Text(),
            "request 6: chip select raised while a byte shifts (0x1091 = 0x01, device 1; send "
            "of 0x06 shifting, 1 busy polls left)");
}

}  // namespace
}  // namespace velkor::sim
