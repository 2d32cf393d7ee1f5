// The judge on crafted end states: flash contents, verdicts, protection, and how a child ended.
#include "rigs/fault_sweep/run_judge.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace velkor::sweep {
namespace {

const std::string kPass = "Pass\r\nR06.00.01\r\n";

RunRecord Ended(const std::string& verdict) {
  RunRecord record;
  record.exitCode = 0;
  record.hasVerdict = true;
  record.verdictLength = static_cast<std::uint8_t>(verdict.size());
  std::memcpy(record.verdict, verdict.data(), verdict.size());
  record.flash = FlashContent::kImage;
  record.status = 0x8C;
  record.writeProtectLow = true;
  record.attached = true;
  return record;
}

const ChildEnd kReported{ChildEnd::Kind::kReported, 0, false};

TEST(FlashClassification, TellsImageOldErasedPartialAndOverwrittenApart) {
  const std::vector<std::uint8_t> old = {0xF0, 0x0F, 0xAA, 0x55};
  const std::vector<std::uint8_t> image = {0x3C, 0xC3, 0x5A, 0xA5};
  auto classify = [&](std::vector<std::uint8_t> flash) { return ClassifyFlash(flash, old, image); };
  EXPECT_EQ(classify(image), FlashContent::kImage);
  EXPECT_EQ(classify(old), FlashContent::kOld);
  EXPECT_EQ(classify({0xFF, 0xFF, 0xFF, 0xFF}), FlashContent::kErased);
  EXPECT_EQ(classify({0x3C, 0xC3, 0xFF, 0xFF}), FlashContent::kPartial);
  // Programmed without an erase: every byte old AND image, or a prefix of them.
  EXPECT_EQ(classify({0x30, 0x03, 0x0A, 0x05}), FlashContent::kOverwritten);
  EXPECT_EQ(classify({0x30, 0x03, 0xAA, 0x55}), FlashContent::kOverwritten);
  EXPECT_EQ(classify({0x00, 0x0F, 0xAA, 0x55}), FlashContent::kOther);
}

TEST(RunJudge, SoundEndsHaveNoDefect) {
  EXPECT_EQ(Judge(kReported, Ended(kPass), kPass), 0u);
  RunRecord fail = Ended("Fail");
  fail.flash = FlashContent::kErased;
  EXPECT_EQ(Judge(kReported, fail, kPass), 0u) << "an erased flash after a failed write is honest";
  RunRecord unplugged = Ended("Fail");
  unplugged.status = 0x00;
  unplugged.attached = false;
  EXPECT_EQ(Judge(kReported, unplugged, kPass), 0u) << "a camera gone cannot be protected";
  EXPECT_EQ(Judge(kReported, Ended("Wrong Device\r\n"), kPass), 0u);
}

TEST(RunJudge, ProtectionLeftOffOnAnAttachedCameraIsADefectWhateverTheVerdict) {
  RunRecord pass = Ended(kPass);
  pass.status = 0x00;
  EXPECT_EQ(Judge(kReported, pass, kPass), Bit(Defect::kPassUnprotected));
  pass.status = 0x8C;
  pass.writeProtectLow = false;  // the status is back, but WP# is still driven high
  EXPECT_EQ(Judge(kReported, pass, kPass), Bit(Defect::kPassUnprotected));

  RunRecord fail = Ended("Fail");
  fail.status = 0x80;  // SRWD without the block-protect bits
  EXPECT_EQ(Judge(kReported, fail, kPass), Bit(Defect::kFailUnprotected));
}

TEST(RunJudge, FlashAndVerdictThatDisagreeAreDefects) {
  RunRecord overwritten = Ended("Fail");
  overwritten.flash = FlashContent::kOverwritten;
  EXPECT_EQ(Judge(kReported, overwritten, kPass), Bit(Defect::kWrittenOverUnerased));
  RunRecord passWithoutImage = Ended(kPass);
  passWithoutImage.flash = FlashContent::kPartial;
  EXPECT_EQ(Judge(kReported, passWithoutImage, kPass), Bit(Defect::kPassWithoutImage));
  RunRecord none = Ended("");
  none.hasVerdict = false;
  EXPECT_EQ(Judge(kReported, none, kPass), Bit(Defect::kNoVerdict));
  EXPECT_EQ(Judge(kReported, Ended("Pass\r\n"), kPass), Bit(Defect::kNoVerdict))
      << "bytes that are no verdict of the updater";
}

TEST(RunJudge, ProcessEndsBeyondTheRecordAreCrashHangOrSanitizer) {
  const RunRecord sound = Ended(kPass);
  EXPECT_EQ(Judge({ChildEnd::Kind::kTimeout, 0, false}, sound, kPass), Bit(Defect::kHang));
  EXPECT_EQ(Judge({ChildEnd::Kind::kSignal, 11, false}, sound, kPass), Bit(Defect::kCrash));
  EXPECT_EQ(Judge({ChildEnd::Kind::kNoReport, 0, false}, sound, kPass), Bit(Defect::kCrash));
  EXPECT_EQ(Judge({ChildEnd::Kind::kSignal, 6, true}, sound, kPass), Bit(Defect::kSanitizer));
  EXPECT_EQ(Judge({ChildEnd::Kind::kReported, 0, true}, sound, kPass), Bit(Defect::kSanitizer));

  RunRecord stalled = sound;
  stalled.stalled = true;
  EXPECT_EQ(Judge(kReported, stalled, kPass), Bit(Defect::kHang));
  RunRecord badExit = sound;
  badExit.exitCode = 3;
  EXPECT_EQ(Judge(kReported, badExit, kPass), Bit(Defect::kCrash));
}

}  // namespace
}  // namespace velkor::sweep
