// The extension-unit requests as they cross the wire: selector, flags, node id and every
// payload byte, the strict success rule, and the bounds the bus and memory replies keep.
#include "transport/extension_unit.h"

#include <gtest/gtest.h>

#include <array>

#include "tests/transport/transport_test_world.h"

namespace velkor::transport {
namespace {

using testing::Bytes;
using testing::Payload;

constexpr std::uint32_t kNode = 2;  // where the default simulated topology puts the unit

class ExtensionUnitTest : public testing::TransportTest {
 protected:
  void SetUp() override {
    TransportTest::SetUp();
    InstallCamera(WritableCamera());
    BindCameraDirectly();
  }

  void ExpectRequest(std::size_t index, std::uint32_t selector, std::uint32_t flags,
                     const Bytes& sent) {
    ASSERT_LT(index, traffic().size());
    const sim::TrafficRecord& record = traffic()[index];
    EXPECT_EQ(record.selector, selector) << "request " << index;
    EXPECT_EQ(record.flags, flags) << "request " << index;
    EXPECT_EQ(record.nodeId, kNode) << "request " << index;
    EXPECT_EQ(record.propertyLength, 32u) << "request " << index;
    EXPECT_EQ(record.sent, sent) << "request " << index;
  }
};

TEST_F(ExtensionUnitTest, RegisterWriteAndReadCarryAddressValueAndMarker) {
  auto& camera = *target().camera;
  camera.SetRegister(0x03C5, 0x03);

  EXPECT_TRUE(WriteRegister(0, 0x1082, 0x06));
  std::uint8_t value = 0;
  EXPECT_TRUE(ReadRegister(0, 0x03C5, &value));

  ASSERT_EQ(traffic().size(), 3u);
  ExpectRequest(0, 1, kFlagsSet, {0x82, 0x10, 0x06, 0x00});
  ExpectRequest(1, 1, kFlagsSet, {0xC5, 0x03, 0x00, 0xFF});
  ExpectRequest(2, 1, kFlagsGet, {0x00, 0x00, 0x00, 0x00});
  EXPECT_EQ(value, traffic()[2].replied[2]);
  EXPECT_EQ(value, 0x03);
  EXPECT_EQ(camera.Register(0x1082), 0x06);
}

TEST_F(ExtensionUnitTest, FlashCommandsAreLaidOutByteForByte) {
  const std::uint8_t data[8] = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0x11, 0x22, 0x33};
  EXPECT_TRUE(FlashWriteChunk(0, 0x0100, 3, data));
  EXPECT_TRUE(FlashWriteChunk(0, 0x0200, 12, data));  // more than a piece holds: sent as 8
  EXPECT_TRUE(FlashReadRequest(0, 0x0010, 8));
  EXPECT_TRUE(FlashReadRequest(0, 0x0010, 0));
  EXPECT_TRUE(FlashReadRequest(0, 0x0010, 9));
  EraseFlashAt(0, 0x20, 0x1234);
  EXPECT_TRUE(EraseFlash(0));

  ASSERT_EQ(traffic().size(), 7u);
  ExpectRequest(0, 3, kFlagsSet, Payload(12, {0x00, 0x01, 0x03, 0xAA, 0xBB, 0xCC}));
  ExpectRequest(1, 3, kFlagsSet,
                Payload(12, {0x00, 0x02, 0x08, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0x11, 0x22, 0x33}));
  ExpectRequest(2, 3, kFlagsSet, Payload(12, {0x10, 0x00, 0x88}));
  ExpectRequest(3, 3, kFlagsSet, Payload(12, {0x10, 0x00, 0x80}));
  ExpectRequest(4, 3, kFlagsSet, Payload(12, {0x10, 0x00, 0x88}));
  ExpectRequest(5, 3, kFlagsSet, Payload(12, {0x00, 0x00, 0x40, 0x20, 0x34, 0x12}));
  ExpectRequest(6, 3, kFlagsSet, Payload(12, {0x00, 0x00, 0xC8}));
}

TEST_F(ExtensionUnitTest, FlashReadDataDeliversReplyBytesThreeToTen) {
  const std::uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_TRUE(FlashWriteChunk(0, 0x0040, 8, data));
  ASSERT_TRUE(FlashReadRequest(0, 0x0040, 8));
  std::array<std::uint8_t, 8> out{};
  EXPECT_TRUE(FlashReadData(0, out.data()));

  ASSERT_EQ(traffic().size(), 3u);
  ExpectRequest(2, 3, kFlagsGet, Bytes(12, 0));
  EXPECT_EQ(out, (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_TRUE(std::equal(out.begin(), out.end(), traffic()[2].replied.begin() + 3));
}

TEST_F(ExtensionUnitTest, StatusReadsTakeModeFromByteTwoAndWordFromBytesZeroAndOne) {
  std::uint8_t mode = 0;
  std::uint16_t word = 0;
  EXPECT_TRUE(ReadFlashMode(0, &mode));
  EXPECT_TRUE(ReadFlashWord(0, &word));

  ASSERT_EQ(traffic().size(), 2u);
  ExpectRequest(0, 5, kFlagsGet, Bytes(12, 0));
  ExpectRequest(1, 5, kFlagsGet, Bytes(12, 0));
  const Bytes& reply = traffic()[1].replied;
  EXPECT_EQ(mode, traffic()[0].replied[2]);
  EXPECT_EQ(word, reply[0] | (reply[1] << 8));
  EXPECT_EQ(word, target().camera->config().flashWord);
}

TEST_F(ExtensionUnitTest, BusRequestsNeverReachPastPayloadOrCallerBuffer) {
  const std::uint8_t source[8] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7};
  WriteBus(0x42, 0x21, source, sizeof(source));  // two address bytes and one data byte
  WriteBus(0x42, 0x12, source, sizeof(source));  // one address byte and two data bytes
  WriteBus(0x42, 0x2F, source, sizeof(source));  // asks for 17: only 5 fit
  WriteBus(0x42, 0x21, source, 2);               // the caller holds only 2

  ASSERT_EQ(traffic().size(), 4u);
  ExpectRequest(0, 2, kFlagsSet, {0x42, 0x21, 0xA0, 0xA1, 0xA2, 0x00, 0x00, 0x00});
  ExpectRequest(1, 2, kFlagsSet, {0x42, 0x12, 0xA0, 0xA1, 0xA2, 0x00, 0x00, 0x00});
  ExpectRequest(2, 2, kFlagsSet, {0x42, 0x2F, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0x00});
  ExpectRequest(3, 2, kFlagsSet, {0x42, 0x21, 0xA0, 0xA1, 0x00, 0x00, 0x00, 0x00});

  world().ClearTraffic();
  // A 16-byte area of which the call may use 4: the format asks for 17.
  std::array<std::uint8_t, 16> area;
  area.fill(0xEE);
  area[0] = 0x10;
  area[1] = 0x20;
  EXPECT_TRUE(ReadBus(0x42, 0x2F, area.data(), 4));
  for (std::size_t i = 4; i < area.size(); ++i) {
    EXPECT_EQ(area[i], 0xEE) << i;
  }
  // The whole area offered: still no more than the 6 reply bytes.
  area.fill(0xEE);
  area[0] = 0x10;
  EXPECT_TRUE(ReadBus(0x42, 0x1F, area.data(), area.size()));

  ASSERT_EQ(traffic().size(), 4u);
  ExpectRequest(0, 2, kFlagsSet, {0x42, 0x2F, 0x10, 0x20, 0x00, 0x00, 0x00, 0xFF});
  ExpectRequest(1, 2, kFlagsGet, Bytes(8, 0));
  ExpectRequest(2, 2, kFlagsSet, {0x42, 0x1F, 0x10, 0x00, 0x00, 0x00, 0x00, 0xFF});
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(area[i], traffic()[3].replied[2 + i]) << i;
  }
  for (std::size_t i = 6; i < area.size(); ++i) {
    EXPECT_EQ(area[i], 0xEE) << i;
  }
}

TEST_F(ExtensionUnitTest, MemoryReadAsksForEightAndStoresThem) {
  auto& camera = *target().camera;
  // Controller memory holds the identification record at the row's address.
  std::array<std::uint8_t, 12> area;
  area.fill(0xEE);
  EXPECT_TRUE(MemoryReadChunk(0, 0xC7F8, area.data()));
  ASSERT_EQ(traffic().size(), 2u);
  ExpectRequest(0, 4, kFlagsSet, Payload(12, {0xF8, 0xC7, 0x08}));
  ExpectRequest(1, 4, kFlagsGet, Bytes(12, 0));
  for (std::uint16_t i = 0; i < 8; ++i) {
    EXPECT_EQ(area[i], camera.Memory(0xC7F8 + i)) << i;
  }
  EXPECT_EQ(area[8], 0xEE);
}

TEST_F(ExtensionUnitTest, MemoryReplyCountDecidesStoredBytesUpToEight) {
  for (std::uint8_t count : {3, 11}) {
    sim::SimCameraConfig config;
    config.memoryReadCount = count;
    target().camera = std::make_shared<sim::SimCamera>(config, world().clock());
    std::array<std::uint8_t, 12> area;
    area.fill(0xEE);
    EXPECT_TRUE(MemoryReadChunk(0, 0xC7F8, area.data()));
    ASSERT_FALSE(traffic().empty());
    EXPECT_EQ(traffic().back().replied[2], count);
    const std::size_t stored = std::min<std::size_t>(count, 8);
    for (std::size_t i = 0; i < area.size(); ++i) {
      if (i < stored) {
        EXPECT_EQ(area[i], target().camera->Memory(static_cast<std::uint16_t>(0xC7F8 + i)))
            << "count " << int{count} << " byte " << i;
      } else {
        EXPECT_EQ(area[i], 0xEE) << "count " << int{count} << " byte " << i;
      }
    }
  }
}

TEST_F(ExtensionUnitTest, SuccessCodeOtherThanOkFailsAndLeavesOutputsAlone) {
  target().faults.failSelector = 1;
  target().faults.failResult = hr::kFalse;
  std::uint8_t value = 0x77;

  EXPECT_FALSE(WriteRegister(0, 0x1082, 0x06));
  EXPECT_FALSE(ReadRegister(0, 0x03C5, &value));
  // The SET of the read failed: its GET is never sent.
  EXPECT_EQ(traffic().size(), 2u);
  EXPECT_EQ(value, 0x77);

  target().faults.failSelector = 5;
  target().faults.failResult = hr::kFail;
  std::uint8_t mode = 0x77;
  EXPECT_FALSE(ReadFlashMode(0, &mode));
  EXPECT_EQ(mode, 0x77);
}

TEST_F(ExtensionUnitTest, FailedGetOfReadLeavesOutputAlone) {
  target().faults.failRequestNumber = 2;  // the GET
  std::uint8_t value = 0x77;
  EXPECT_FALSE(ReadRegister(0, 0x03C5, &value));
  EXPECT_EQ(traffic().size(), 2u);
  EXPECT_EQ(value, 0x77);

  target().faults.failRequestNumber = 4;  // the GET of the memory read
  std::array<std::uint8_t, 8> area;
  area.fill(0xEE);
  EXPECT_FALSE(MemoryReadChunk(0, 0xC7F8, area.data()));
  EXPECT_EQ(area, (std::array<std::uint8_t, 8>{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST_F(ExtensionUnitTest, WithoutBoundFilterOrControlNothingIsSent) {
  std::uint8_t byte = 0x77;
  std::uint16_t word = 0x7777;
  std::uint8_t area[8] = {};
  const auto callAll = [&] {
    EXPECT_FALSE(WriteRegister(0, 0x1082, 6));
    EXPECT_FALSE(ReadRegister(0, 0x3C5, &byte));
    EXPECT_FALSE(WriteBus(0x42, 0x21, area, sizeof(area)));
    EXPECT_FALSE(ReadBus(0x42, 0x21, area, sizeof(area)));
    EXPECT_FALSE(FlashWriteChunk(0, 0, 8, area));
    EXPECT_FALSE(FlashReadRequest(0, 0, 8));
    EXPECT_FALSE(FlashReadData(0, area));
    EXPECT_FALSE(EraseFlash(0));
    EXPECT_FALSE(EraseFlashAt(0, 1, 2));
    EXPECT_FALSE(MemoryReadChunk(0, 0x9FF8, area));
    EXPECT_FALSE(ReadFlashMode(0, &byte));
    EXPECT_FALSE(ReadFlashWord(0, &word));
  };

  target().failControlInterface = true;
  callAll();
  boundDevice.filter.reset();
  target().failControlInterface = false;
  callAll();

  EXPECT_TRUE(traffic().empty());
  EXPECT_EQ(byte, 0x77);
  EXPECT_EQ(word, 0x7777);
}

// Node search over the bound filter's topology.
class ExtensionNodeTest : public testing::TransportTest {
 protected:
  void BindWithTopology(std::vector<sim::SimTopologyNode> topology) {
    sim::SimCameraConfig camera;
    InstallCamera(camera);
    target().topology = std::move(topology);
    BindCameraDirectly();
    boundDevice.extensionNodeId = 77;
  }
  static constexpr Guid kOtherType = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
};

TEST_F(ExtensionNodeTest, NoAnsweringDeviceSpecificNodeLeavesNodeIdAlone) {
  BindWithTopology({{kOtherType, true}, {kNodeTypeDevSpecific, false}, {kOtherType, true}});
  std::uint32_t node = 77;
  EXPECT_FALSE(FindExtensionNode(&node));
  EXPECT_EQ(node, 77u);
}

TEST_F(ExtensionNodeTest, FirstAnsweringDeviceSpecificNodeWins) {
  BindWithTopology({{kOtherType, true},
                    {kNodeTypeDevSpecific, false},
                    {kNodeTypeDevSpecific, true},
                    {kNodeTypeDevSpecific, true}});
  std::uint32_t node = 77;
  EXPECT_TRUE(FindExtensionNode(&node));
  EXPECT_EQ(node, 2u);

  // Only device-specific nodes are probed, each with the set-support flags and its own index.
  ASSERT_EQ(traffic().size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(traffic()[i].selector, 0u);
    EXPECT_EQ(traffic()[i].flags, kFlagsSetSupport);
    EXPECT_EQ(traffic()[i].nodeId, i + 1);
    EXPECT_TRUE(traffic()[i].sent.empty());
  }
}

TEST_F(ExtensionNodeTest, RefusedTopologyOrNoFilterFindsNothing) {
  BindWithTopology({{kNodeTypeDevSpecific, true}});
  target().failTopologyInterface = true;
  std::uint32_t node = 77;
  EXPECT_FALSE(FindExtensionNode(&node));
  boundDevice.filter.reset();
  target().failTopologyInterface = false;
  EXPECT_FALSE(FindExtensionNode(&node));
  EXPECT_EQ(node, 77u);
  EXPECT_TRUE(traffic().empty());
}

}  // namespace
}  // namespace velkor::transport
