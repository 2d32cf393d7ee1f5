// The simulated controller answers the extension-unit selectors byte for byte and rejects
// malformed requests without side effects.
#include "rigs/sim/sim_camera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>
#include "vendor_requests.h"

namespace velkor::sim {
namespace {

using Payload12 = std::array<std::uint8_t, 12>;

class SimCameraTest : public ::testing::Test {
 protected:
  SimCamera& MakeCamera(SimCameraConfig config = {}) {
    camera_ = std::make_unique<SimCamera>(config, clock_);
    return *camera_;
  }

  HResult Set(std::uint32_t selector, std::vector<std::uint8_t> payload) {
    return camera_->HandleRequest(selector, kSet, payload.data(),
                                  static_cast<std::uint32_t>(payload.size()));
  }
  template <std::size_t N>
  std::array<std::uint8_t, N> Get(std::uint32_t selector) {
    std::array<std::uint8_t, N> reply{};
    reply.fill(0xEE);  // the reply must overwrite every byte it does not fill
    EXPECT_EQ(camera_->HandleRequest(selector, kGet, reply.data(), N), hr::kOk);
    return reply;
  }

  void WriteReg(std::uint16_t reg, std::uint8_t value) {
    ASSERT_EQ(Set(1, {Lo(reg), Hi(reg), value, 0x00}), hr::kOk);
  }
  std::uint8_t ReadReg(std::uint16_t reg) {
    EXPECT_EQ(Set(1, {Lo(reg), Hi(reg), 0x00, 0xFF}), hr::kOk);
    return Get<4>(1)[2];
  }
  std::array<std::uint8_t, 8> ReadMemory(std::uint16_t address) {
    EXPECT_EQ(Set(4, {Lo(address), Hi(address), 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0}), hr::kOk);
    const Payload12 reply = Get<12>(4);
    std::array<std::uint8_t, 8> bytes{};
    std::copy_n(reply.begin() + 3, 8, bytes.begin());
    return bytes;
  }
  void FlashWrite(std::uint16_t address, std::vector<std::uint8_t> data) {
    std::vector<std::uint8_t> payload(12, 0);
    payload[0] = Lo(address);
    payload[1] = Hi(address);
    payload[2] = static_cast<std::uint8_t>(data.size());
    std::copy(data.begin(), data.end(), payload.begin() + 3);
    ASSERT_EQ(Set(3, payload), hr::kOk);
  }
  void FlashReadRequest(std::uint16_t address, std::uint8_t count) {
    ASSERT_EQ(Set(3, {Lo(address), Hi(address), static_cast<std::uint8_t>(0x80 | count), 0, 0, 0, 0,
                      0, 0, 0, 0, 0}),
              hr::kOk);
  }
  std::array<std::uint8_t, 8> FlashReadData() {
    const Payload12 reply = Get<12>(3);
    EXPECT_EQ(reply[0], 0);
    EXPECT_EQ(reply[11], 0);
    std::array<std::uint8_t, 8> bytes{};
    std::copy_n(reply.begin() + 3, 8, bytes.begin());
    return bytes;
  }

  static std::uint8_t Lo(std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); }
  static std::uint8_t Hi(std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); }

  static std::vector<std::uint8_t> Counting(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
      bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
    return bytes;
  }

  VirtualClock clock_;
  std::unique_ptr<SimCamera> camera_;
};

TEST_F(SimCameraTest, MalformedRequestsFailAndChangeNothing) {
  SimCamera& camera = MakeCamera();
  std::vector<std::uint8_t> write = {0x00, 0x20, 0x55, 0x00};

  EXPECT_LT(camera.HandleRequest(1, kSet, write.data(), 3), 0) << "short";
  EXPECT_LT(camera.HandleRequest(1, kSet, write.data(), 12), 0) << "long";
  EXPECT_LT(camera.HandleRequest(1, 0x00000002, write.data(), 4), 0) << "no topology bit";
  EXPECT_LT(camera.HandleRequest(1, kSetSupport, write.data(), 4), 0);
  EXPECT_LT(camera.HandleRequest(1, kSet, nullptr, 4), 0);
  EXPECT_LT(camera.HandleRequest(6, kSet, write.data(), 4), 0) << "unknown selector";
  EXPECT_LT(Set(1, {0x00, 0x20, 0x55, 0x01}), 0) << "neither write nor read";
  EXPECT_LT(Set(2, {0, 0, 0, 0}), 0);
  EXPECT_LT(Set(3, std::vector<std::uint8_t>(8, 0)), 0);
  EXPECT_LT(Set(3, {0, 0, 0x09, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0) << "count above 8";
  EXPECT_LT(Set(3, {0, 0, 0x89, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0) << "read count above 8";
  EXPECT_LT(Set(4, {0, 0, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0) << "memory count not 8";
  EXPECT_LT(Set(5, std::vector<std::uint8_t>(12, 0)), 0) << "selector 5 is read-only";

  EXPECT_TRUE(camera.registerWrites().empty());
  EXPECT_EQ(camera.Register(0x2000), 0);
  EXPECT_EQ(camera.busSetCount(), 0u);
  EXPECT_EQ(camera.HandleRequest(0, kSetSupport, nullptr, 0), hr::kOk) << "node probe";
}

TEST_F(SimCameraTest, RegisterWriteAndLatchedReadUseSelectorOne) {
  SimCamera& camera = MakeCamera();

  WriteReg(0x2345, 0x9A);
  EXPECT_EQ(ReadReg(0x2345), 0x9A);
  EXPECT_EQ(ReadReg(0x2346), 0x00) << "unknown registers read 0";

  ASSERT_EQ(Set(1, {0x45, 0x23, 0x00, 0xFF}), hr::kOk);
  EXPECT_EQ(Get<4>(1), (std::array<std::uint8_t, 4>{0, 0, 0x9A, 0}));
  ASSERT_EQ(camera.registerWrites().size(), 1u);
  EXPECT_EQ(camera.registerWrites()[0].reg, 0x2345);
  EXPECT_EQ(camera.registerWrites()[0].value, 0x9A);
}

TEST_F(SimCameraTest, PowerUpRegistersHoldSetupValuesAndTheFlashKind) {
  MakeCamera();  // row 18: host-erased chip, kind register 0x5F0

  EXPECT_EQ(ReadReg(0x5F3), 0x11);
  EXPECT_EQ(ReadReg(0x5F5), 0x22);
  for (std::uint16_t reg = 0x5F8; reg <= 0x5FB; ++reg) {
    EXPECT_EQ(ReadReg(reg), 0x34);
  }
  EXPECT_EQ(ReadReg(0x05F0), 4);

  SimCameraConfig row0;
  row0.chipRow = 0;
  MakeCamera(row0);
  EXPECT_EQ(ReadReg(0x03C5), 5) << "controller-erased chip";

  row0.flashKind = 3;
  MakeCamera(row0);
  EXPECT_EQ(ReadReg(0x03C5), 3);
  EXPECT_EQ(camera_->flash().kind(), 3);
}

TEST_F(SimCameraTest, IdentificationRecordSitsAtTheRowsAddressOnly) {
  struct Case {
    int row;
    std::uint16_t address;
    const char* code;
    std::uint8_t version;
  };
  for (const Case& c :
       {Case{0, 0x9FF8, "K7DR", 1}, Case{4, 0xD2B2, "H2MR", 1}, Case{6, 0xDFF8, "H2MR", 3},
        Case{15, 0xBFF8, "W7HR", 1}, Case{18, 0xC7F8, "N8ER", 2}}) {
    SimCameraConfig config;
    config.chipRow = c.row;
    MakeCamera(config);

    const auto record = ReadMemory(c.address);
    EXPECT_EQ(std::string(record.begin(), record.begin() + 4), c.code) << "row " << c.row;
    EXPECT_EQ(record[4], '0');
    EXPECT_EQ(record[5], c.version);
    for (std::uint16_t other : {0x9FF8, 0xD2B2, 0xDFF8, 0xBFF8, 0xC7F8}) {
      if (other != c.address) {
        EXPECT_EQ(ReadMemory(other)[0], 0) << "row " << c.row << " at " << other;
      }
    }
  }
}

TEST_F(SimCameraTest, VersionOverrideAndUnknownChip) {
  SimCameraConfig config;
  config.chipRow = 17;
  config.version = 9;
  MakeCamera(config);
  EXPECT_EQ(ReadMemory(0xC7F8)[5], 9);

  config.chipRow = -1;
  MakeCamera(config);
  for (std::uint16_t address : {0x9FF8, 0xD2B2, 0xDFF8, 0xBFF8, 0xC7F8}) {
    const auto record = ReadMemory(address);
    EXPECT_EQ(std::string(record.begin(), record.begin() + 4), "Y0QR");
  }
}

TEST_F(SimCameraTest, MemoryReplyCarriesTheCountAndNeverMoreThanEightBytes) {
  SimCameraConfig config;
  config.chipRow = 0;
  config.memoryReadCount = 12;
  MakeCamera(config);

  // One byte before the record, so that a ninth byte would be the record's non-zero last one.
  ASSERT_EQ(Set(4, {0xF7, 0x9F, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0}), hr::kOk);
  const Payload12 reply = Get<12>(4);

  EXPECT_EQ(reply[2], 12);
  EXPECT_EQ(reply[4], 'K');
  ASSERT_NE(camera_->Memory(0x9FFF), 0);
  EXPECT_EQ(reply[11], 0) << "only 8 bytes follow the count";
}

TEST_F(SimCameraTest, ProbeRegisterBitsStickOrReadBackClear) {
  SimCameraConfig config;
  config.chipRow = 15;
  MakeCamera(config);
  WriteReg(0x1185, 0x73);
  EXPECT_EQ(ReadReg(0x1185), 0x73);

  config.probeBitsStick = false;
  MakeCamera(config);
  WriteReg(0x1185, 0x73);
  EXPECT_EQ(ReadReg(0x1185), 0x03);
}

TEST_F(SimCameraTest, FlashReadStreamContinuesAcrossDataRequestsWithStepEight) {
  SimCameraConfig config;
  config.initialFlash = Counting(64);
  MakeCamera(config);

  FlashReadRequest(0x0008, 8);
  const auto first = FlashReadData();
  const auto second = FlashReadData();

  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(first[i], config.initialFlash[8 + i]);
    EXPECT_EQ(second[i], config.initialFlash[16 + i]);
  }
}

TEST_F(SimCameraTest, FlashReadStreamWithStepOneDeliversOneNewByteEachTime) {
  SimCameraConfig config;
  config.initialFlash = Counting(64);
  MakeCamera(config);

  FlashReadRequest(0x0003, 1);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(FlashReadData()[0], config.initialFlash[3 + i]) << i;
  }
}

TEST_F(SimCameraTest, FlashWriteProgramsOnlyWhenErasedAndUnprotected) {
  SimCameraConfig config;
  config.initialStatus = 0x00;
  config.initialFlash = {0xFF, 0xFF, 0xFF, 0x0F};
  MakeCamera(config);

  FlashWrite(0x0001, {0xAA, 0xBB, 0xF5});
  FlashReadRequest(0x0000, 8);
  const auto bytes = FlashReadData();
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xAA);
  EXPECT_EQ(bytes[2], 0xBB);
  EXPECT_EQ(bytes[3], 0x05) << "programmed over 0x0F without an erase";

  config.initialStatus = 0x8C;  // power-up protection
  MakeCamera(config);
  FlashWrite(0x0000, {0x00});
  EXPECT_EQ(camera_->flash().ByteAt(0), 0xFF);
}

TEST_F(SimCameraTest, ControllerEraseRespectsProtectionAndFinishesBeforeItAnswers) {
  SimCameraConfig config;
  config.initialFlash = {0x00};
  MakeCamera(config);  // 0x8C at power-up
  const std::vector<std::uint8_t> erase = {0x00, 0x00, 0xC8, 0, 0, 0, 0, 0, 0, 0, 0, 0};

  ASSERT_EQ(Set(3, erase), hr::kOk);
  EXPECT_EQ(camera_->flash().ByteAt(0), 0x00);
  EXPECT_EQ(clock_.NowMs(), 0u);

  config.initialStatus = 0x80;  // SRWD alone does not block an erase
  MakeCamera(config);
  ASSERT_EQ(Set(3, erase), hr::kOk);
  EXPECT_EQ(camera_->flash().ByteAt(0), 0xFF);
  EXPECT_EQ(clock_.NowMs(), config.chipEraseMs);
  EXPECT_FALSE(camera_->flash().Busy());
  EXPECT_EQ(camera_->controllerEraseRequests(), 1u);
}

TEST_F(SimCameraTest, EraseAtCommandIsRecordedAndErasesNothing) {
  SimCameraConfig config;
  config.initialStatus = 0x00;
  config.initialFlash = {0x00};
  MakeCamera(config);

  ASSERT_EQ(Set(3, {0x00, 0x00, 0x40, 0x20, 0x34, 0x12, 0, 0, 0, 0, 0, 0}), hr::kOk);

  ASSERT_EQ(camera_->eraseFlashAtCalls().size(), 1u);
  EXPECT_EQ(camera_->eraseFlashAtCalls()[0].first, 0x20);
  EXPECT_EQ(camera_->eraseFlashAtCalls()[0].second, 0x1234);
  EXPECT_EQ(camera_->flash().ByteAt(0), 0x00);
}

TEST_F(SimCameraTest, ReadBackFlipsEveryByteOrOnlyTheOneAtTheOffset) {
  SimCameraConfig config;
  config.initialFlash = std::vector<std::uint8_t>(16, 0x00);
  config.readBackFlipMask = 0x01;
  MakeCamera(config);
  FlashReadRequest(0x0000, 8);
  EXPECT_EQ(FlashReadData(), (std::array<std::uint8_t, 8>{1, 1, 1, 1, 1, 1, 1, 1}));

  config.readBackFlipOffset = 10;
  MakeCamera(config);
  FlashReadRequest(0x0000, 8);
  EXPECT_EQ(FlashReadData(), (std::array<std::uint8_t, 8>{}));
  EXPECT_EQ(FlashReadData(), (std::array<std::uint8_t, 8>{0, 0, 1, 0, 0, 0, 0, 0}));
  EXPECT_EQ(camera_->flash().ByteAt(10), 0x00) << "the flash itself is intact";
}

TEST_F(SimCameraTest, BusEchoesTheLastSetFromByteTwo) {
  SimCamera& camera = MakeCamera();

  ASSERT_EQ(Set(2, {0x50, 0x21, 0x01, 0x02, 0x03, 0x04, 0x05, 0xFF}), hr::kOk);

  EXPECT_EQ(Get<8>(2), (std::array<std::uint8_t, 8>{0, 0, 0x01, 0x02, 0x03, 0x04, 0x05, 0xFF}));
  EXPECT_EQ(camera.lastBusSet()[0], 0x50);
  EXPECT_EQ(camera.busSetCount(), 1u);
}

TEST_F(SimCameraTest, FlashQueryGivesWordAndMode) {
  SimCameraConfig config;
  config.flashWord = 0x0612;
  config.flashMode = 2;
  MakeCamera(config);

  const Payload12 reply = Get<12>(5);

  EXPECT_EQ(reply, (Payload12{0x12, 0x06, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace velkor::sim
