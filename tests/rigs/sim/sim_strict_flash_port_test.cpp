// Hosts that drive the flash interface the way the hardware does not forgive: each mistake
// leaves exactly its entry in the violation record, and the flash ends as the hardware would
// leave it (the byte lost, the data stale, the command ignored).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "flash_port_host.h"
#include "rigs/sim/sim_camera.h"

namespace velkor::sim {
namespace {

using testing::FlashPortHost;

constexpr std::uint8_t kWel = 0x02;
constexpr std::uint8_t kWip = 0x01;

struct Expected {
  SimViolationKind kind;
  std::uint32_t request;
  std::uint16_t reg;
  std::uint8_t value;
};

void ExpectRecord(const SimCamera& camera, const std::vector<Expected>& expected) {
  const auto& record = camera.violations();
  ASSERT_EQ(record.size(), expected.size()) << SimViolationsText(record);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(record[i].Text());
    EXPECT_EQ(record[i].kind, expected[i].kind);
    EXPECT_EQ(record[i].request, expected[i].request);
    EXPECT_EQ(record[i].reg, expected[i].reg);
    EXPECT_EQ(record[i].value, expected[i].value);
    EXPECT_EQ(record[i].device, -1);
  }
}

class StrictFlashPort : public ::testing::Test {
 protected:
  // The state text of the first entry, or nothing when the record is empty.
  std::string FirstState() const {
    return camera_->violations().empty() ? std::string() : camera_->violations()[0].state;
  }

  // Row 11 needs no flash-access setup; its flash (kind 4) erases with 0x60. Two busy polls
  // per byte, an unprotected flash full of data.
  static SimCameraConfig PlainChip() {
    SimCameraConfig config;
    config.chipRow = 11;
    config.initialStatus = 0x00;
    config.initialFlash.assign(SimFlash::kSize, 0x5A);
    config.transferBusyPolls = 2;
    return config;
  }

  FlashPortHost& Start(const SimCameraConfig& config = PlainChip()) {
    camera_ = std::make_unique<SimCamera>(config, clock_);
    host_ = std::make_unique<FlashPortHost>(*camera_);
    host_->Write(0x1080, 1);
    return *host_;
  }
  // A correct host starts a chip erase, so that the flash is busy for a while.
  void StartErase() {
    host_->Command({0x06});
    host_->Command({0x60});
    ASSERT_TRUE(camera_->flash().Busy());
    ASSERT_TRUE(camera_->violations().empty()) << SimViolationsText(camera_->violations());
  }

  SimFlash& flash() { return camera_->flash(); }

  VirtualClock clock_;
  std::unique_ptr<SimCamera> camera_;
  std::unique_ptr<FlashPortHost> host_;
};

TEST_F(StrictFlashPort, DoneFlagReadsZeroForTheBusyPollsAndTheByteLandsWithTheFirstOne) {
  FlashPortHost& host = Start();
  host.Write(0x1091, 0);
  host.Write(0x1082, 0x06);
  host.Write(0x1081, 1);
  EXPECT_TRUE(camera_->TransferInFlight());
  EXPECT_EQ(host.Read(0x1084), 0);
  EXPECT_EQ(host.Read(0x1084), 0);
  EXPECT_EQ(host.Read(0x1084), 1);
  EXPECT_FALSE(camera_->TransferInFlight());
  host.Write(0x1091, 1);

  EXPECT_EQ(flash().Status(), kWel);
  EXPECT_EQ(host.ReadStatus(), kWel);
  EXPECT_TRUE(camera_->violations().empty()) << SimViolationsText(camera_->violations());
}

// The second byte of a status write is loaded before the opcode has shifted out: the opcode is
// lost, the flash sees a one-byte command it does not know, and the protection stays.
TEST_F(StrictFlashPort, DataOutWrittenWhileTheOpcodeShiftsLosesTheOpcode) {
  SimCameraConfig config = PlainChip();
  config.initialStatus = 0x0C;  // BP1 BP0, no SRWD: a status write would clear them
  FlashPortHost& host = Start(config);
  host.Command({0x06});

  host.Write(0x1091, 0);
  host.Write(0x1082, 0x01);
  host.Write(0x1081, 1);
  host.Write(0x1082, 0x00);  // no done poll before it
  const std::uint32_t mistake = host.requests();
  host.Write(0x1081, 1);
  host.WaitDone();
  host.Write(0x1091, 1);

  ExpectRecord(*camera_, {{SimViolationKind::kDataOutWhileShifting, mistake, 0x1082, 0x00}});
  EXPECT_EQ(FirstState(), "send of 0x01 shifting, 2 busy polls left");
  EXPECT_EQ(flash().Status(), 0x0C | kWel);
}

// A status poll that starts the receive before the opcode has gone: neither byte reaches the
// flash, and the data register still holds the 0 the host wrote, so an erasing flash looks idle.
TEST_F(StrictFlashPort, ReceiveStartedWhileTheOpcodeShiftsReadsStaleIdleFromABusyFlash) {
  FlashPortHost& host = Start();
  StartErase();

  host.Write(0x1091, 0);
  host.Write(0x1082, 0x05);
  host.Write(0x1081, 1);
  host.Write(0x1083, 0);
  host.Write(0x1081, 2);  // no done poll before it
  const std::uint32_t mistake = host.requests();
  host.WaitDone();
  const std::uint8_t status = host.Read(0x1083);
  host.Write(0x1091, 1);

  ExpectRecord(*camera_, {{SimViolationKind::kTransferWhileShifting, mistake, 0x1081, 2}});
  EXPECT_EQ(status & kWip, 0);
  EXPECT_TRUE(flash().Busy());
}

// Chip select raised before the write enable has shifted out: the flash never sees it, so the
// erase that follows is refused and the old data stays.
TEST_F(StrictFlashPort, ChipSelectRaisedWhileTheWriteEnableShiftsLosesIt) {
  FlashPortHost& host = Start();

  host.Write(0x1091, 0);
  host.Write(0x1082, 0x06);
  host.Write(0x1081, 1);
  host.Write(0x1091, 1);  // no done poll before it
  const std::uint32_t mistake = host.requests();
  host.Command({0x60});

  ExpectRecord(*camera_, {{SimViolationKind::kDeselectWhileShifting, mistake, 0x1091, 1}});
  EXPECT_EQ(flash().Status() & kWel, 0);
  EXPECT_FALSE(flash().Busy());
  EXPECT_EQ(flash().ByteAt(0), 0x5A);
}

// The data register read before the receive has finished answers what it held before: the
// 0 the host wrote, not the busy status of the erasing flash.
TEST_F(StrictFlashPort, DataInReadBeforeTheReceiveFinishedIsStale) {
  FlashPortHost& host = Start();
  StartErase();

  host.Write(0x1091, 0);
  host.SendByte(0x05);
  host.Write(0x1083, 0);
  host.Write(0x1081, 2);
  const std::uint8_t early = host.Read(0x1083);  // no done poll before it
  const std::uint32_t mistake = host.requests();
  host.WaitDone();
  const std::uint8_t settled = host.Read(0x1083);
  host.Write(0x1091, 1);

  ExpectRecord(*camera_, {{SimViolationKind::kDataInBeforeReceiveDone, mistake, 0x1083, 0x00}});
  EXPECT_EQ(early, 0x00);
  EXPECT_EQ(settled & kWip, kWip);
}

// While the host holds the interface (0x1080 = 1) the controller's own program, read and erase
// cannot reach the flash: the program and the erase do nothing, the read sees an undriven bus.
TEST_F(StrictFlashPort, ControllerFlashPathIsCutOffWhileTheHostHoldsTheInterface) {
  FlashPortHost& host = Start();

  host.FlashProgram(0x0100, {0x00, 0x00});
  const std::uint32_t program = host.requests();
  host.FlashReadRequest(0x0010, 8);
  const auto reply = host.FlashReadData();
  const std::uint32_t read = host.requests();
  host.ControllerErase();
  const std::uint32_t erase = host.requests();

  ExpectRecord(*camera_,
               {{SimViolationKind::kControllerFlashPathWhileHostHolds, program, 0x0100, 0x02},
                {SimViolationKind::kControllerFlashPathWhileHostHolds, read, 0x0010, 0x88},
                {SimViolationKind::kControllerFlashPathWhileHostHolds, erase, 0x0000, 0xC8}});
  EXPECT_EQ(flash().ByteAt(0x0100), 0x5A);
  EXPECT_EQ(flash().ByteAt(0x0000), 0x5A);
  for (int i = 3; i < 11; ++i) {
    EXPECT_EQ(reply[i], 0xFF) << i;
  }

  // Handed back, the same requests work.
  camera_->ClearViolations();
  host.Write(0x1080, 0);
  host.FlashProgram(0x0100, {0x00, 0x00});
  EXPECT_EQ(flash().ByteAt(0x0100), 0x00);
  EXPECT_TRUE(camera_->violations().empty());
}

// On a chip that needs the flash-access setup (row 12) the host's bytes reach the flash only
// while the setup registers hold the access values. A host that restores them before the final
// status write leaves the flash unprotected.
TEST_F(StrictFlashPort, FlashBytesWithoutTheAccessSetupNeverReachTheFlash) {
  SimCameraConfig config = PlainChip();
  config.chipRow = 12;
  FlashPortHost& host = Start(config);

  host.Command({0x06});
  const std::uint32_t unprepared = host.transferStarts().back();
  EXPECT_EQ(flash().Status() & kWel, 0);

  host.SetUpFlashAccess(4);
  host.Command({0x06});
  EXPECT_EQ(flash().Status() & kWel, kWel);

  host.RestoreFlashAccess();
  host.Command({0x01, 0x8C});
  const std::uint32_t value = host.transferStarts().back();
  const std::uint32_t opcode = host.transferStarts().end()[-2];

  ExpectRecord(*camera_, {{SimViolationKind::kFlashAccessWithoutSetup, unprepared, 0x1081, 1},
                          {SimViolationKind::kFlashAccessWithoutSetup, opcode, 0x1081, 1},
                          {SimViolationKind::kFlashAccessWithoutSetup, value, 0x1081, 1}});
  EXPECT_EQ(FirstState(),
            "send of 0x06; setup 0x5F3..0x5FB: 11 22 34 34 34 34, access needs 06 02 12 12 ED ED");
  EXPECT_EQ(flash().Status(), kWel) << "the status write never arrived";
}

TEST_F(StrictFlashPort, AccessSetupFollowsTheChipRowAndTheFlashKind) {
  // Row 11 needs none: the same unprepared write enable works.
  FlashPortHost& plain = Start();
  plain.Command({0x06});
  EXPECT_EQ(flash().Status() & kWel, kWel);
  EXPECT_TRUE(camera_->violations().empty());

  // A kind-3 flash on row 12 needs 0xAF in 0x5F5: the kind-4 value is not enough.
  SimCameraConfig config = PlainChip();
  config.chipRow = 12;
  config.flashKind = 3;
  FlashPortHost& host = Start(config);
  host.SetUpFlashAccess(4);
  host.Command({0x06});
  EXPECT_EQ(flash().Status() & kWel, 0);
  ASSERT_EQ(camera_->violations().size(), 1u);
  host.SetUpFlashAccess(3);
  host.Command({0x06});
  EXPECT_EQ(flash().Status() & kWel, kWel);
  EXPECT_EQ(camera_->violations().size(), 1u);
}

// A host that sends the next write enable and erase without waiting for the running erase: the
// busy flash ignores both, so WEL stays clear and a status write after the erase is refused.
TEST_F(StrictFlashPort, WriteEnableAndEraseSentToABusyFlashAreIgnored) {
  SimCameraConfig config = PlainChip();
  config.initialStatus = 0x0C;
  FlashPortHost& host = Start(config);
  host.Command({0x01, 0x00});  // without WEL: refused, BP stays
  EXPECT_EQ(flash().Status(), 0x0C);
  host.Command({0x06});
  host.Command({0x01, 0x00});
  ASSERT_TRUE(flash().Busy());  // the status write runs for a while

  host.Command({0x06});
  const std::uint32_t enable = host.requests();
  host.Command({0x60});
  const std::uint32_t erase = host.requests();

  ExpectRecord(*camera_, {{SimViolationKind::kCommandWhileFlashBusy, enable, 0x1091, 0x06},
                          {SimViolationKind::kCommandWhileFlashBusy, erase, 0x1091, 0x60}});
  EXPECT_EQ(FirstState(), "flash status 0x01 (WIP set)");
  clock_.Advance(config.statusWriteMs);
  EXPECT_EQ(flash().Status(), 0x00);   // WEL never set again
  EXPECT_EQ(flash().ByteAt(0), 0x5A);  // never erased
}

}  // namespace
}  // namespace velkor::sim
