// Opening and closing the simulated camera: bind, table, identification, transfer unit.
#include <cstring>

#include "access/access_calls.h"
#include "access/chip_table.h"
#include "sim_access_fixture.h"
#include "transport/capture_devices.h"
#include "transport/memory_transfer.h"

namespace velkor::access {
namespace {

using DeviceOpenTest = SimAccessTest;

sim::SimCameraConfig Chip(int row, int flashKind = -1) {
  sim::SimCameraConfig config;
  config.chipRow = row;
  config.flashKind = flashKind;
  return config;
}

TEST_F(DeviceOpenTest, OpenFillsTheTableInTransportOrderAndIdentifiesTheChip) {
  StartWorld(Chip(15));
  ASSERT_EQ(Open(), 2);
  EXPECT_EQ(context.deviceOpen[0], 1);
  EXPECT_EQ(context.chipRow[0], 15);
  EXPECT_EQ(context.transferUnit, 8);
  EXPECT_EQ(0, std::memcmp(context.chipIdCopy, "W7HR", 4));
  EXPECT_EQ(context.chipIdCopy[4], '1');  // the row-15 probe ran: the simulated bits stick
  EXPECT_EQ(context.table.TransferMemory, &transport::TransferMemory);
  EXPECT_EQ(context.table.CloseDevice, &transport::CloseDevice);
  EXPECT_EQ(context.table.GetContextInfo, &GetContextInfo);
  EXPECT_NE(context.table.EraseFlashAt, nullptr);
  EXPECT_NE(context.table.WriteBus, nullptr);
  EXPECT_NE(context.table.ReadBus, nullptr);
  EXPECT_FALSE(ReadRegisterSent(0x3C5));
}

TEST_F(DeviceOpenTest, RowZeroFlashKindDecidesTheTransferUnit) {
  for (int kind : {3, 2, 4}) {
    SCOPED_TRACE(kind);
    StartWorld(Chip(0, kind));
    ASSERT_EQ(Open(), 2);
    EXPECT_EQ(context.chipRow[0], 0);
    EXPECT_TRUE(ReadRegisterSent(0x3C5));
    EXPECT_EQ(context.transferUnit, kind == 3 ? 1 : 8);
    // The unit reaches the transfer: kind 3 reads one byte per request.
    world().ClearTraffic();
    std::uint8_t buffer[16];
    ASSERT_TRUE(ReadMemory(0x100, buffer, sizeof buffer));
    int readRequests = 0;
    for (const sim::TrafficRecord& t : world().traffic()) {
      readRequests += t.selector == 3 && (t.flags & 0x1) != 0 ? 1 : 0;
    }
    EXPECT_EQ(readRequests, kind == 3 ? 16 : 2);
    CloseDevice();
  }
  // Any other row keeps 8 even where its own flash-kind register says 3.
  StartWorld(Chip(9, 3));
  ASSERT_EQ(Open(), 2);
  EXPECT_EQ(context.transferUnit, 8);
  EXPECT_FALSE(ReadRegisterSent(0x3C5));
}

TEST_F(DeviceOpenTest, UnreadableRowZeroFlashKindFailsTheOpenButLeavesTheDeviceOpen) {
  StartWorld(Chip(0));
  // Fail every register request: identification (memory reads) still works.
  faults().failSelector = 1;
  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(context.deviceOpen[0], 1);
  EXPECT_EQ(context.transferUnit, 8);
  EXPECT_TRUE(CloseDevice());
  EXPECT_TRUE(world().SessionsBalanced());
}

TEST_F(DeviceOpenTest, BindFailureLeavesTheDeviceClosedAndTheTableUnfilled) {
  sim::SimWorld& w = StartWorld(Chip(12));
  w.device(sim::kSimCameraDevice).failFilter = true;
  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(context.deviceOpen[0], 0);
  EXPECT_EQ(context.table.WriteRegister, nullptr);
  EXPECT_EQ(context.transferUnit, 0);
  EXPECT_FALSE(CloseDevice());
}

// A bind that finds the camera's path but cannot identify its chip keeps the filter and the
// capture session it began; the open, which leaves the device closed, releases both.
TEST_F(DeviceOpenTest, BindThatCannotIdentifyTheChipReleasesItsFilterAndSession) {
  StartWorld(Chip(-1));  // a chip that no row describes
  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(context.deviceOpen[0], 0);
  EXPECT_EQ(transport::boundDevice.filter, nullptr);
  EXPECT_EQ(world().OpenSessions(), 0);
  EXPECT_TRUE(world().SessionsBalanced());
}

// The bind's own probe already identifies the chip and sets its row. Make the identification
// inside the open fail by failing the first request after the bind: the row found by the bind
// then decides, and row 0 still gets its flash-kind read.
TEST_F(DeviceOpenTest, IdentificationFailingAfterTheBindKeepsTheRowTheBindFound) {
  struct Case {
    int row;
    bool registersWork;
    int result;
    bool kindRead;
  };
  for (const Case c : {Case{0, true, 2, true}, Case{0, false, 0, true}, Case{12, true, 2, false}}) {
    SCOPED_TRACE(c.row);
    StartWorld(Chip(c.row, 3));
    ASSERT_TRUE(transport::BindCaptureDevice(0, sim::kSimCameraPath, 256, MatchBoundChip));
    const std::size_t bindRequests = world().traffic().size();
    transport::CloseDevice(0);

    StartWorld(Chip(c.row, 3));
    faults().failRequestNumber = static_cast<std::uint32_t>(bindRequests + 1);
    if (!c.registersWork) {
      faults().failSelector = 1;
    }
    std::memset(context.chipIdCopy, 0xEE, 8);
    EXPECT_EQ(Open(), c.result);
    EXPECT_EQ(context.chipRow[0], c.row);
    EXPECT_EQ(context.chipIdCopy[0], 0xEE);  // the failed identification wrote nothing
    EXPECT_EQ(ReadRegisterSent(0x3C5), c.kindRead);
    EXPECT_EQ(context.transferUnit, c.row == 0 && c.registersWork ? 1 : 8);
    EXPECT_EQ(context.deviceOpen[0], 1);
    EXPECT_TRUE(CloseDevice());
  }
}

TEST_F(DeviceOpenTest, CloseActsOnceOnAnOpenDeviceAndNeverOnAClosedOrForeignIndex) {
  StartWorld(Chip(18));
  EXPECT_FALSE(CloseDevice());  // never opened
  ASSERT_EQ(Open(), 2);
  EXPECT_FALSE(CloseDevice(kDeviceCount));
  EXPECT_FALSE(CloseDevice(-1));
  EXPECT_EQ(world().OpenSessions(), 1);
  EXPECT_TRUE(CloseDevice());
  EXPECT_EQ(context.deviceOpen[0], 0);
  EXPECT_EQ(world().OpenSessions(), 0);
  world().ClearTraffic();
  EXPECT_FALSE(CloseDevice());
  EXPECT_TRUE(world().SessionsBalanced());
  // Closed: the library's calls send nothing.
  std::uint8_t id[8];
  EXPECT_FALSE(IdentifyChip(id));
  EXPECT_EQ(ReadFlashKind(0), -1);
  EXPECT_TRUE(world().traffic().empty());
  // The table and the row stay for the next open.
  EXPECT_EQ(context.chipRow[0], 18);
  EXPECT_NE(context.table.WriteRegister, nullptr);
}

}  // namespace
}  // namespace velkor::access
