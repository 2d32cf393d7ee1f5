// The simulated SPI NOR flash refuses what real parts refuse and takes time where they do.
#include "rigs/sim/sim_flash.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace velkor::sim {
namespace {

constexpr std::uint8_t kUnprotected = 0x00;
constexpr std::uint8_t kFullyProtected = 0x8C;  // SRWD + BP1 + BP0

class SimFlashTest : public ::testing::Test {
 protected:
  SimFlash& MakeFlash(int kind, std::uint8_t status, std::vector<std::uint8_t> content = {}) {
    SimFlashConfig config;
    config.kind = kind;
    config.chipEraseMs = 800;
    config.statusWriteMs = 15;
    config.initialStatus = status;
    config.initialContent = std::move(content);
    flash_ = std::make_unique<SimFlash>(config, clock_);
    return *flash_;
  }

  // One chip-select session with these bytes.
  void Session(std::initializer_list<std::uint8_t> bytes) {
    flash_->Select();
    for (std::uint8_t byte : bytes) {
      flash_->Transfer(byte);
    }
    flash_->Deselect();
  }

  VirtualClock clock_;
  std::unique_ptr<SimFlash> flash_;
};

TEST_F(SimFlashTest, WriteEnableSetsWelAndWriteDisableClearsIt) {
  SimFlash& flash = MakeFlash(5, kUnprotected);

  Session({SimFlash::kOpWriteEnable});
  EXPECT_EQ(flash.Status(), SimFlash::kStatusWel);
  Session({SimFlash::kOpWriteDisable});
  EXPECT_EQ(flash.Status(), 0);
}

TEST_F(SimFlashTest, CommandRunsOnlyAtDeselectAndOnlyWithItsExactLength) {
  SimFlash& flash = MakeFlash(5, kUnprotected);

  flash.Select();
  flash.Transfer(SimFlash::kOpWriteEnable);
  EXPECT_EQ(flash.Status() & SimFlash::kStatusWel, 0) << "nothing runs before deselect";
  flash.Deselect();
  EXPECT_NE(flash.Status() & SimFlash::kStatusWel, 0);

  Session({SimFlash::kOpWriteDisable, 0x00});  // one byte too many: not executed
  EXPECT_NE(flash.Status() & SimFlash::kStatusWel, 0);
  Session({SimFlash::kOpWriteStatus});  // value byte missing: not executed
  EXPECT_EQ(flash.executedCommands(), std::vector<std::uint8_t>{SimFlash::kOpWriteEnable});
}

TEST_F(SimFlashTest, StatusWriteWithoutWriteEnableIsIgnored) {
  SimFlash& flash = MakeFlash(5, kFullyProtected);
  flash.SetWriteProtectLow(false);

  Session({SimFlash::kOpWriteStatus, 0x00});

  EXPECT_EQ(flash.Status(), kFullyProtected);
}

TEST_F(SimFlashTest, StatusWriteUnderSrwdIsRefusedWhileWpIsLowAndTakenOnceReleased) {
  SimFlash& flash = MakeFlash(5, kFullyProtected);
  flash.SetWriteProtectLow(true);

  Session({SimFlash::kOpWriteEnable});
  Session({SimFlash::kOpWriteStatus, 0x00});
  EXPECT_EQ(flash.Status(), kFullyProtected | SimFlash::kStatusWel);

  flash.SetWriteProtectLow(false);
  Session({SimFlash::kOpWriteStatus, 0x00});
  EXPECT_EQ(flash.Status() & ~SimFlash::kStatusWip, 0) << "bits stored, WEL cleared";
}

TEST_F(SimFlashTest, StatusWriteWithoutSrwdIgnoresWp) {
  SimFlash& flash = MakeFlash(5, 0x0C);  // BP bits only
  flash.SetWriteProtectLow(true);

  Session({SimFlash::kOpWriteEnable});
  Session({SimFlash::kOpWriteStatus, 0x00});
  clock_.Advance(15);

  EXPECT_EQ(flash.Status(), 0);
}

TEST_F(SimFlashTest, StatusWriteStoresOnlyProtectionBitsAndKeepsWipForItsDuration) {
  SimFlash& flash = MakeFlash(5, kUnprotected);

  Session({SimFlash::kOpWriteEnable});
  Session({SimFlash::kOpWriteStatus, 0xFF});

  EXPECT_EQ(flash.Status(), 0x9C | SimFlash::kStatusWip);
  clock_.Advance(14);
  EXPECT_TRUE(flash.Busy());
  clock_.Advance(1);
  EXPECT_EQ(flash.Status(), 0x9C);
}

TEST_F(SimFlashTest, KindThreeNeedsEnableWriteStatusDirectlyBeforeTheStatusWrite) {
  SimFlash& flash = MakeFlash(3, 0x0C);

  Session({SimFlash::kOpWriteEnable});
  Session({SimFlash::kOpWriteStatus, 0x00});
  EXPECT_EQ(flash.Status() & SimFlash::kStatusBlockProtect, 0x0C) << "WREN alone is not enough";

  Session({SimFlash::kOpEnableWriteStatus});
  Session({SimFlash::kOpReadStatus, 0x00});
  Session({SimFlash::kOpWriteStatus, 0x00});
  EXPECT_EQ(flash.Status() & SimFlash::kStatusBlockProtect, 0x0C) << "EWSR must come right before";

  Session({SimFlash::kOpEnableWriteStatus});
  Session({SimFlash::kOpWriteStatus, 0x00});
  EXPECT_EQ(flash.Status() & SimFlash::kStatusBlockProtect, 0);
}

TEST_F(SimFlashTest, EnableWriteStatusDoesNothingOnOtherKinds) {
  SimFlash& flash = MakeFlash(5, 0x0C);

  Session({SimFlash::kOpEnableWriteStatus});
  Session({SimFlash::kOpWriteStatus, 0x00});

  EXPECT_EQ(flash.Status(), 0x0C);
}

TEST_F(SimFlashTest, ChipEraseNeedsWriteEnable) {
  SimFlash& flash = MakeFlash(4, kUnprotected, {0x12, 0x34});

  Session({SimFlash::kOpChipErase60});

  EXPECT_FALSE(flash.Busy());
  EXPECT_EQ(flash.ByteAt(0), 0x12);
}

TEST_F(SimFlashTest, ChipEraseIsRefusedUnderBlockProtection) {
  for (std::uint8_t bp : {0x04, 0x08, 0x10}) {
    SimFlash& flash = MakeFlash(4, bp, {0x12});

    Session({SimFlash::kOpWriteEnable});
    Session({SimFlash::kOpChipErase60});

    EXPECT_FALSE(flash.Busy()) << "BP bits " << int{bp};
    EXPECT_EQ(flash.ByteAt(0), 0x12) << "BP bits " << int{bp};
  }
}

TEST_F(SimFlashTest, ChipEraseFillsWithOnesAndHoldsWipUntilItsTimeHasPassed) {
  SimFlash& flash = MakeFlash(4, kUnprotected, {0x12, 0x00});

  Session({SimFlash::kOpWriteEnable});
  Session({SimFlash::kOpChipErase60});

  EXPECT_EQ(flash.Status(), SimFlash::kStatusWip) << "WEL consumed, WIP set";
  clock_.Advance(799);
  EXPECT_TRUE(flash.Busy());
  clock_.Advance(1);
  EXPECT_FALSE(flash.Busy());
  EXPECT_EQ(flash.ByteAt(0), 0xFF);
  EXPECT_EQ(flash.ByteAt(1), 0xFF);
}

TEST_F(SimFlashTest, EachKindTakesOnlyItsOwnEraseOpcode) {
  for (int kind = 0; kind < 13; ++kind) {
    const bool c7Kind = kind == 2 || kind == 7 || kind == 8 || kind == 10 || kind == 11;
    for (std::uint8_t opcode : {SimFlash::kOpChipErase60, SimFlash::kOpChipEraseC7}) {
      SimFlash& flash = MakeFlash(kind, kUnprotected, {0x00});

      Session({SimFlash::kOpWriteEnable});
      Session({opcode});

      const bool expected = c7Kind == (opcode == SimFlash::kOpChipEraseC7);
      EXPECT_EQ(flash.ByteAt(0) == 0xFF, expected) << "kind " << kind << " opcode " << int{opcode};
    }
  }
}

TEST_F(SimFlashTest, ReadStatusPollingInOneSessionSeesWipClearAsTimePasses) {
  SimFlash& flash = MakeFlash(4, kUnprotected);
  Session({SimFlash::kOpWriteEnable});
  Session({SimFlash::kOpChipErase60});

  flash.Select();
  flash.Transfer(SimFlash::kOpReadStatus);
  EXPECT_EQ(flash.Transfer(0xFF) & SimFlash::kStatusWip, SimFlash::kStatusWip);
  clock_.Advance(800);
  flash.Transfer(SimFlash::kOpReadStatus);  // a poller re-sending the opcode stays in RDSR
  EXPECT_EQ(flash.Transfer(0xFF) & SimFlash::kStatusWip, 0);
  flash.Deselect();
}

TEST_F(SimFlashTest, BusyFlashIgnoresEveryCommandButReadStatus) {
  SimFlash& flash = MakeFlash(4, kUnprotected);
  Session({SimFlash::kOpWriteEnable});
  Session({SimFlash::kOpChipErase60});

  Session({SimFlash::kOpWriteEnable});
  clock_.Advance(800);

  EXPECT_EQ(flash.Status(), 0) << "the WREN sent while busy did not count";
}

TEST_F(SimFlashTest, StuckFlashStaysBusyAndRefusesWork) {
  SimFlash& flash = MakeFlash(4, kUnprotected, {0xF0});
  flash.SetStuckBusy(true);

  clock_.Advance(100000);
  Session({SimFlash::kOpWriteEnable});
  const std::uint8_t data[] = {0x00};

  EXPECT_EQ(flash.Status(), SimFlash::kStatusWip);
  EXPECT_FALSE(flash.Program(0, data));
  EXPECT_FALSE(flash.EraseChip(800));
  EXPECT_EQ(flash.ByteAt(0), 0xF0);
}

TEST_F(SimFlashTest, ProgramOnlyClearsBitsSoWritingWithoutEraseCorrupts) {
  SimFlash& flash = MakeFlash(5, kUnprotected, {0xF0, 0xFF});
  const std::uint8_t data[] = {0x3C, 0xA5};

  ASSERT_TRUE(flash.Program(0, data));

  EXPECT_EQ(flash.ByteAt(0), 0x30);
  EXPECT_EQ(flash.ByteAt(1), 0xA5);
}

TEST_F(SimFlashTest, ProgramWrapsWithinItsPage) {
  SimFlash& flash = MakeFlash(5, kUnprotected);
  const std::uint8_t data[] = {0x01, 0x02, 0x03};

  ASSERT_TRUE(flash.Program(0x01FE, data));

  EXPECT_EQ(flash.ByteAt(0x01FE), 0x01);
  EXPECT_EQ(flash.ByteAt(0x01FF), 0x02);
  EXPECT_EQ(flash.ByteAt(0x0100), 0x03);
  EXPECT_EQ(flash.ByteAt(0x0200), 0xFF);
}

TEST_F(SimFlashTest, ControllerProgramAndEraseAreRefusedUnderBlockProtection) {
  SimFlash& flash = MakeFlash(5, 0x04, {0xFF, 0x00});
  const std::uint8_t data[] = {0x00};

  EXPECT_FALSE(flash.Program(0, data));
  EXPECT_FALSE(flash.EraseChip(800));

  EXPECT_EQ(flash.ByteAt(0), 0xFF);
  EXPECT_EQ(flash.ByteAt(1), 0x00);
}

TEST_F(SimFlashTest, ControllerReadWrapsAtTheTopAndFloatsHighWhileBusy) {
  SimFlash& flash = MakeFlash(5, kUnprotected, std::vector<std::uint8_t>(SimFlash::kSize, 0x11));
  std::uint8_t out[4] = {};

  flash.Read(0xFFFE, out);
  EXPECT_EQ(out[0], 0x11);
  EXPECT_EQ(out[3], 0x11) << "address 0x0001";

  Session({SimFlash::kOpWriteEnable});
  Session({SimFlash::kOpWriteStatus, 0x00});
  flash.Read(0, out);
  EXPECT_EQ(out[0], 0xFF) << "no answer during the status write";
  clock_.Advance(15);
  flash.Read(0, out);
  EXPECT_EQ(out[0], 0x11);
}

TEST_F(SimFlashTest, ControllerProgramDuringAnEraseIsLost) {
  SimFlash& flash = MakeFlash(5, kUnprotected);
  const std::uint8_t data[] = {0x00};

  ASSERT_TRUE(flash.EraseChip(800));
  EXPECT_FALSE(flash.Program(0, data));
  clock_.Advance(800);
  EXPECT_EQ(flash.ByteAt(0), 0xFF);
  EXPECT_TRUE(flash.Program(0, data));
  EXPECT_EQ(flash.ByteAt(0), 0x00);
}

}  // namespace
}  // namespace velkor::sim
