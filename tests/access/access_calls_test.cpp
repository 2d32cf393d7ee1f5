// The gated calls of the access library: forwarding to the table while open, nothing at all
// while closed or for an index outside the arrays, and the post-write step per chip row.
#include "access/access_calls.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "access/access_context.h"

namespace velkor::access {
namespace {

// What the recording slots saw.
struct SlotCall {
  const char* slot;
  DeviceIndex device;
  int operation;
  std::uint32_t address;
  std::uint32_t length;
  std::uint32_t unit;
  std::uint8_t value;
};

std::vector<SlotCall> calls;
bool slotResult = true;

bool RecordTransfer(DeviceIndex device, int operation, std::uint32_t address, std::uint8_t*,
                    std::uint32_t length, std::uint32_t unit) {
  calls.push_back({"TransferMemory", device, operation, address, length, unit, 0});
  return slotResult;
}

bool RecordWrite(DeviceIndex device, std::uint16_t reg, std::uint8_t value) {
  calls.push_back({"WriteRegister", device, 0, reg, 0, 0, value});
  return slotResult;
}

bool RecordRead(DeviceIndex device, std::uint16_t reg, std::uint8_t* value) {
  calls.push_back({"ReadRegister", device, 0, reg, 0, 0, 0});
  if (slotResult) {
    *value = 0x5A;
  }
  return slotResult;
}

class AccessCallsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context = AccessContext{};
    calls.clear();
    slotResult = true;
    context.table.TransferMemory = RecordTransfer;
    context.table.WriteRegister = RecordWrite;
    context.table.ReadRegister = RecordRead;
    context.transferUnit = 8;
  }
  void TearDown() override { context = AccessContext{}; }
};

TEST_F(AccessCallsTest, ClosedDeviceGetsClosedResultsAndReachesNoSlot) {
  std::uint8_t buffer[4] = {1, 2, 3, 4};
  std::uint8_t value = 0x77;

  EXPECT_FALSE(TransferMemory(kOpReadFlash, 0, buffer, 4));
  EXPECT_FALSE(ReadMemory(0, buffer, 4));
  EXPECT_FALSE(WriteMemory(0, buffer, 4));
  EXPECT_FALSE(WriteRegister(0x1082, 6));
  EXPECT_FALSE(ReadRegister(0x3C5, &value));
  EXPECT_EQ(AfterFlashWrite(), 0);

  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(value, 0x77);
}

TEST_F(AccessCallsTest, IndexOutsideTheArraysIsTreatedAsClosed) {
  context.deviceOpen[0] = 1;
  // The chip-row array follows the open flags in the record: without a range check index 24
  // would read this non-zero row as an open flag.
  context.chipRow[0] = 5;
  std::uint8_t value = 0x77;
  for (DeviceIndex device : {-1, kDeviceCount, kDeviceCount + 1, 1000}) {
    EXPECT_FALSE(TransferMemory(device, kOpReadFlash, 0, &value, 1)) << device;
    EXPECT_FALSE(WriteRegister(device, 0x1082, 6)) << device;
    EXPECT_FALSE(ReadRegister(device, 0x3C5, &value)) << device;
    EXPECT_EQ(AfterFlashWrite(device), 0) << device;
  }
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(value, 0x77);
}

TEST_F(AccessCallsTest, OpenDeviceForwardsMemoryCallsWithCodesAndTransferUnit) {
  context.deviceOpen[0] = 1;
  context.transferUnit = 1;
  std::uint8_t buffer[16] = {};

  EXPECT_TRUE(ReadMemory(0x0123, buffer, 16));
  EXPECT_TRUE(WriteMemory(0x0040, buffer, 9));
  context.transferUnit = 8;
  EXPECT_TRUE(TransferMemory(kOpReadMemory, 0x9FF8, buffer, 8));

  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].operation, kOpReadFlash);
  EXPECT_EQ(calls[0].address, 0x0123u);
  EXPECT_EQ(calls[0].length, 16u);
  EXPECT_EQ(calls[0].unit, 1u);
  EXPECT_EQ(calls[1].operation, kOpWriteFlash);
  EXPECT_EQ(calls[1].length, 9u);
  EXPECT_EQ(calls[2].operation, kOpReadMemory);
  EXPECT_EQ(calls[2].unit, 8u);
  for (const SlotCall& call : calls) {
    EXPECT_EQ(call.device, 0);
  }
}

TEST_F(AccessCallsTest, OpenDevicePassesSlotFailuresThroughAndKeepsOutputOnFailure) {
  context.deviceOpen[0] = 1;
  std::uint8_t value = 0x77;
  EXPECT_TRUE(ReadRegister(0x3C5, &value));
  EXPECT_EQ(value, 0x5A);

  slotResult = false;
  value = 0x77;
  EXPECT_FALSE(ReadRegister(0x3C5, &value));
  EXPECT_EQ(value, 0x77);
  EXPECT_FALSE(WriteRegister(0x1082, 6));
  EXPECT_FALSE(ReadMemory(0, &value, 1));
  EXPECT_EQ(calls.size(), 4u);
}

TEST_F(AccessCallsTest, AfterFlashWriteClearsRegister1073OnlyForRowsFromTwoUp) {
  context.deviceOpen[0] = 1;
  for (int row = 0; row < 19; ++row) {
    calls.clear();
    context.chipRow[0] = row;
    const int result = AfterFlashWrite();
    if (row <= 1) {
      EXPECT_EQ(result, 1) << "row " << row;
      EXPECT_TRUE(calls.empty()) << "row " << row;
    } else {
      EXPECT_EQ(result, 2) << "row " << row;
      ASSERT_EQ(calls.size(), 1u) << "row " << row;
      EXPECT_STREQ(calls[0].slot, "WriteRegister");
      EXPECT_EQ(calls[0].address, 0x1073u);
      EXPECT_EQ(calls[0].value, 0);
    }
  }
  // The write's own result does not change the answer.
  slotResult = false;
  context.chipRow[0] = 7;
  EXPECT_EQ(AfterFlashWrite(), 2);
}

TEST_F(AccessCallsTest, GetContextInfoIsOneStableAllZeroBlock) {
  std::uint8_t* first = GetContextInfo();
  context.deviceOpen[0] = 1;
  EXPECT_EQ(GetContextInfo(), first);
  EXPECT_EQ(first, context.contextInfo);
  for (std::size_t i = 0; i < sizeof(context.contextInfo); ++i) {
    ASSERT_EQ(first[i], 0) << i;
  }
}

}  // namespace
}  // namespace velkor::access
