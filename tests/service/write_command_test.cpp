// write against the simulated camera: the whole sequence, the backup, the refusals, and the
// exit code's truth when a request fails or the camera is unplugged anywhere in the sequence.
#include <filesystem>

#include "tests/service/tool_harness.h"
#include "transport/bound_device.h"

namespace velkor::tool {
namespace {

constexpr std::uint8_t kProtectedStatus = 0x8C;

class WriteCommandTest : public ToolTest {
 protected:
  bool Protected() {
    return (camera().flash().Status() & 0xFC) == kProtectedStatus && camera().WriteProtectActive();
  }
};

TEST_F(WriteCommandTest, WritesTheImageAndLeavesTheFlashProtected) {
  StartWorld();
  const std::vector<std::uint8_t> image = MakePlaceholderImage();
  const ToolRun run = Run({"write", WriteFile("image.bin", image), "--json"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(Flash(), image);
  EXPECT_TRUE(Protected());
  EXPECT_EQ(run.summary["status_text"], "Update Finish.");
  EXPECT_TRUE(run.summary["protection_confirmed"]);
  // The setup registers hold their saved values again, the interface is off.
  EXPECT_EQ(camera().Register(0x5F3), sim::SimCamera::kPowerUpReg5F3);
  EXPECT_EQ(camera().Register(0x1080), 0);
  EXPECT_TRUE(world_->SessionsBalanced());
  // The updater's two-second settle after opening, on the world's clock.
  EXPECT_GE(world_->clock().NowMs(), 2000u);
}

TEST_F(WriteCommandTest, BackupWriteAndRestoreFromTheBackupRoundTrip) {
  StartWorld();
  const std::string backup = Path("backup.bin");
  const std::vector<std::uint8_t> image = MakePlaceholderImage();
  ASSERT_EQ(Run({"write", WriteFile("image.bin", image), "--backup", backup}).code, 0);
  EXPECT_EQ(ReadFile(backup), OldFirmware());
  EXPECT_EQ(Flash(), image);

  ASSERT_EQ(Run({"write", backup}).code, 0);
  EXPECT_EQ(Flash(), OldFirmware());
  EXPECT_TRUE(Protected());
  EXPECT_EQ(Run({"verify", backup}).code, 0);
}

TEST_F(WriteCommandTest, ABackupThatCannotBeSavedStopsBeforeAnythingIsWritten) {
  StartWorld();
  const ToolRun run = Run({"write", WriteFile("image.bin", MakePlaceholderImage()), "--backup",
                           Path("missing/backup.bin"), "--json"});
  EXPECT_EQ(run.code, 2);
  EXPECT_FALSE(run.summary["written"]);
  EXPECT_EQ(Flash(), OldFirmware());
  EXPECT_TRUE(Protected());
  EXPECT_EQ(camera().flash().executedCommands().size(), 0u) << "no flash command was sent";
}

TEST_F(WriteCommandTest, AFileNotExactlyTheFlashSizeIsRefusedBeforeTheCameraIsTouched) {
  StartWorld();
  world_->SetTrafficLogging(true);
  std::vector<std::uint8_t> image = MakePlaceholderImage();
  image.pop_back();
  const ToolRun run = Run({"write", WriteFile("short.bin", image), "--json"});
  EXPECT_EQ(run.code, 2);
  EXPECT_FALSE(run.summary["written"]);
  EXPECT_TRUE(world_->traffic().empty());
}

// A read path that corrupts one byte: the blank check after the erase sees it, so the image is
// not written over flash that cannot be shown to be blank; the protection is still restored.
TEST_F(WriteCommandTest, ACorruptedReadPathStopsBeforeWritingAndStillRestoresTheProtection) {
  sim::SimFrontendOptions options = sim::DefaultSimFrontendOptions();
  options.camera.readBackFlipMask = 0x01;
  options.camera.readBackFlipOffset = 0xFFFF;
  StartWorld(options);
  const ToolRun run = Run({"write", WriteFile("image.bin", MakePlaceholderImage()), "--json"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.summary.value("status_text", ""), "Erase failed!!!");
  EXPECT_FALSE(run.summary.value("written", true));
  EXPECT_TRUE(Protected());
}

// A flash whose busy flag never clears takes neither an erase nor programming. Whichever step
// notices it first (the erase's confirmation or the read-back), the run must not end as
// written and verified, and must say why in the updater's words.
TEST_F(WriteCommandTest, AFlashThatStaysBusyIsNeverReportedAsWritten) {
  sim::SimFrontendOptions options = sim::DefaultSimFrontendOptions();
  options.camera.flashBusyNeverClears = true;
  StartWorld(options);
  const ToolRun run = Run({"write", WriteFile("image.bin", MakePlaceholderImage()), "--json"});
  EXPECT_TRUE(run.code == 1 || run.code == 4) << run.code;
  EXPECT_FALSE(run.summary.value("verified", true));
  const std::string text = run.summary.value("status_text", "");
  // A flash that never idles takes no status write either: the restore is not confirmed, and
  // that is what the text says.
  EXPECT_EQ(text, "Protection restore failed!!!");
  EXPECT_NE(Flash(), MakePlaceholderImage());
}

TEST_F(WriteCommandTest, AnInterruptDuringTheWriteIsReportedAfterTheWriteCompletes) {
  StartWorld();
  const std::vector<std::uint8_t> image = MakePlaceholderImage();
  // The interrupt as the platform's handler would take it, with the write under way.
  Interrupts().writing = true;
  bool first = false;
  ASSERT_TRUE(TakeInterrupt(&first));
  EXPECT_TRUE(first);
  ASSERT_TRUE(TakeInterrupt(&first));
  EXPECT_FALSE(first) << "the message is printed once";
  const ToolRun run = Run({"write", WriteFile("image.bin", image), "--json"});
  EXPECT_EQ(run.code, 130);
  EXPECT_TRUE(run.summary["interrupted"]);
  EXPECT_EQ(Flash(), image);
  EXPECT_TRUE(Protected());
  EXPECT_FALSE(Interrupts().writing);
  EXPECT_FALSE(TakeInterrupt(&first)) << "outside a write the interrupt ends the process";
}

// One fault per run at request k of the write, across the whole sequence: a failed request or
// the camera unplugged from k on. Whatever the step, the exit code must tell the truth about
// the camera, an image must never be written over flash that was not erased, and a failed
// request on a camera that still answers must not cost the update.
struct SweepTally {
  int runs = 0;
  int passed = 0;
  int passedAfterRetry = 0;
  int failed = 0;
};

class WriteFaultSweepTest : public WriteCommandTest {
 protected:
  void RunAt(std::uint32_t k, bool unplug, SweepTally* tally) {
    StartWorld();
    if (unplug) {
      faults().unplugAfterRequests = k;
    } else {
      faults().failRequestNumber = k;
    }
    const std::vector<std::uint8_t> image = MakePlaceholderImage();
    const ToolRun run = Run({"write", WriteFile("image.bin", image), "--json", "--quiet"});
    SCOPED_TRACE(std::string(unplug ? "unplug after " : "failed request ") + std::to_string(k));
    ASSERT_TRUE(run.summary.is_object()) << run.out;
    const std::vector<std::uint8_t> flash = Flash();
    ++tally->runs;
    if (run.code == 0) {
      ++tally->passed;
      EXPECT_EQ(flash, image);
      EXPECT_TRUE(Protected());
    } else {
      ++tally->failed;
      EXPECT_TRUE(run.code == 1 || run.code == 4) << run.code;
      // One lost request on a camera that still answers costs an attempt, not the update.
      EXPECT_TRUE(unplug) << "a single failed request ended the write with " << run.code;
    }
    if (run.summary.value("status_text", "") == "Update Finish. (after a retry)") {
      ++tally->passedAfterRetry;
    }
    const bool written = run.summary.value("written", false);
    if (!written) {
      const bool oldKept = flash == OldFirmware();
      const bool blank = std::all_of(flash.begin(), flash.end(), [](auto b) { return b == 0xFF; });
      EXPECT_TRUE(oldKept || blank) << "the flash was changed by a write that reports none";
    }
    if (run.summary.value("verified", false)) {
      EXPECT_EQ(flash, image);
    }
    access::CloseDevice();
    access::context = access::AccessContext{};
    transport::boundDevice = transport::BoundDevice{};
  }

  // Requests of a clean write, counted on the world's traffic, and the number of the request
  // that sends the chip-erase opcode.
  std::uint32_t CleanRunRequests(std::uint32_t* eraseCommand) {
    StartWorld();
    world_->SetTrafficLogging(true);
    EXPECT_EQ(Run({"write", WriteFile("image.bin", MakePlaceholderImage())}).code, 0);
    const auto& traffic = world_->traffic();
    for (std::size_t i = 0; i < traffic.size() && *eraseCommand == 0; ++i) {
      const sim::TrafficRecord& r = traffic[i];
      if (r.selector == 1 && r.sent.size() == 4 && r.sent[0] == 0x82 && r.sent[1] == 0x10 &&
          (r.sent[2] == 0x60 || r.sent[2] == 0xC7)) {
        *eraseCommand = static_cast<std::uint32_t>(i + 1);
      }
    }
    return static_cast<std::uint32_t>(traffic.size());
  }
};

TEST_F(WriteFaultSweepTest, EveryFaultIsReportedTruthfully) {
  std::uint32_t eraseCommand = 0;
  const std::uint32_t total = CleanRunRequests(&eraseCommand);
  ASSERT_GT(total, 3u * 8192u);  // blank check, write and read-back at least
  ASSERT_GT(eraseCommand, 0u);
  SweepTally tally;
  // The first 400 requests (open, identification, release, erase) one by one, where each
  // request has its own role; then every 1993rd through the long transfers and the restore.
  std::vector<std::uint32_t> points;
  for (std::uint32_t k = 1; k <= 400; k += 5) {
    points.push_back(k);
  }
  for (std::uint32_t k = 401; k <= total; k += 1993) {
    points.push_back(k);
  }
  for (std::uint32_t k = eraseCommand - 2; k <= eraseCommand + 2; ++k) {
    points.push_back(k);  // around the erase command, whose loss must keep the old firmware
  }
  for (std::uint32_t k = total - 120; k <= total; k += 4) {
    points.push_back(k);  // the restore and its confirmation at the end
  }
  for (std::uint32_t k : points) {
    RunAt(k, false, &tally);
    RunAt(k, true, &tally);
  }
  std::printf("%d runs: %d passed (%d after a retry), %d failed\n", tally.runs, tally.passed,
              tally.passedAfterRetry, tally.failed);
  // The sweep reached the interesting outcomes, not just one of them.
  EXPECT_GT(tally.passedAfterRetry, 0);
  EXPECT_GT(tally.failed, 0);
  EXPECT_GT(tally.passed, 0);
}

}  // namespace
}  // namespace velkor::tool
