// A camera's verdict from what its child process said and how it ended: only a whole, verified,
// protected write that exited cleanly passes.
#include "service/station/camera_run.h"

#include <gtest/gtest.h>

namespace velkor::tool {
namespace {

CameraProgress Said(std::initializer_list<const char*> lines) {
  CameraProgress progress;
  for (const char* line : lines) {
    TakeChildLine(progress, line);
  }
  return progress;
}

constexpr const char* kIdentified =
    R"({"type":"event","command":"write","step":"identify","result":"ok","progress":100,)"
    R"("message":"row 5, id K7DR0"})";
constexpr const char* kWriteFailed =
    R"({"type":"event","command":"write","step":"write","result":"failed","progress":100})";
constexpr const char* kPassSummary =
    R"({"type":"summary","command":"write","exit_code":0,"result":"ok","written":true,)"
    R"("verified":true,"protection_confirmed":true,"message":"Update Finish."})";
constexpr const char* kInterruptedPassSummary =
    R"({"type":"summary","command":"write","exit_code":130,"result":"interrupted","written":true,)"
    R"("verified":true,"protection_confirmed":true,"message":"Update Finish, interrupted"})";
constexpr const char* kNoCameraSummary =
    R"({"type":"summary","command":"write","exit_code":3,"result":"no-camera","message":"none"})";
constexpr const char* kUnprotectedSummary =
    R"({"type":"summary","command":"write","exit_code":4,"result":"camera-failed",)"
    R"("written":true,"verified":true,"protection_confirmed":false,)"
    R"("message":"Restore protection failed!!!"})";

TEST(CameraRunWhileRunning, ShowsTheIdentifiedChipAndKeepsDiagnosticLines) {
  const CameraProgress progress = Said({kIdentified, "velkor-tool-sim: a diagnostic"});
  EXPECT_EQ(progress.chipRow, 5);
  EXPECT_EQ(progress.chipId, "K7DR0");
  EXPECT_EQ(progress.lastMessage, "velkor-tool-sim: a diagnostic");
}

TEST(CameraRunVerdicts, PassOnlyForAWholeVerifiedProtectedWriteThatExitedCleanly) {
  struct Case {
    const char* situation;
    std::initializer_list<const char*> lines;
    int exitCode;
    Verdict verdict;
    const char* failedStep;
  };
  const Case cases[] = {
      {"clean pass", {kIdentified, kPassSummary}, 0, Verdict::kPass, ""},
      {"interrupted, completed first",
       {kIdentified, kInterruptedPassSummary},
       130,
       Verdict::kPass,
       ""},
      {"pass summary, then a crash", {kIdentified, kPassSummary}, 139, Verdict::kFail, "identify"},
      {"crash without a summary", {kIdentified}, 139, Verdict::kFail, "identify"},
      {"verified but unprotected", {kWriteFailed, kUnprotectedSummary}, 4, Verdict::kFail, "write"},
      {"no camera at the port", {kNoCameraSummary}, 3, Verdict::kWrongDevice, ""},
      {"exit code 3 without a summary", {}, 3, Verdict::kFail, ""},
  };
  for (const Case& c : cases) {
    const VerdictReading reading = ReadVerdict(Said(c.lines), c.exitCode, "");
    EXPECT_EQ(reading.verdict, c.verdict) << c.situation;
    EXPECT_EQ(reading.failedStep, c.failedStep) << c.situation;
  }
  EXPECT_EQ(ReadVerdict(Said({kPassSummary}), 0, "hung").verdict, Verdict::kFail);
}

}  // namespace
}  // namespace velkor::tool
