// The headless toolkit's own promises to the tests built on it: time moves only when nothing
// else can happen, a dialog that can never end is ended, and no worker outlives the process.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/dialog_template.h"
#include "rigs/sim/virtual_clock.h"
#include "rigs/headless/headless_backend.h"

namespace velkor {
namespace {

class HeadlessBackendTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallDialogBackend(&backend_); }
  void TearDown() override { InstallDialogBackend(nullptr); }

  sim::VirtualClock clock_;
  HeadlessBackend backend_{clock_};
};

TEST_F(HeadlessBackendTest, InputDueLaterMovesTheClockStraightToItsTime) {
  CDialog dialog(kMainDialogTemplateId);
  backend_.Inject(HeadlessInput::kClose, HeadlessTrigger::AtTimeMs(2500));

  EXPECT_EQ(dialog.DoModal(), kIdCancel);  // a plain dialog answers a close as Cancel

  EXPECT_EQ(clock_.NowMs(), 2500u);
}

TEST_F(HeadlessBackendTest, DialogWithNothingLeftToWaitForIsEndedAsStalled) {
  CDialog dialog(kMainDialogTemplateId);

  EXPECT_EQ(dialog.DoModal(), -1);

  EXPECT_EQ(backend_.EventsOf(HeadlessEvent::Kind::kStalled).size(), 1u);
  EXPECT_EQ(clock_.NowMs(), 0u);
}

TEST_F(HeadlessBackendTest, WorkerStillCallingTheToolkitWhenMainReturnsIsUnwound) {
  static std::atomic<int> calls{0};
  calls = 0;
  const int code = backend_.RunProcess([] {
    AfxBeginThread(
        [](void*) -> UINT {
          for (;;) {
            CurrentDialogBackend().SetText(nullptr, "still here");
            ++calls;
          }
        },
        nullptr);
    while (calls == 0) {
    }
    return 3;
  });

  EXPECT_EQ(code, 3);
  EXPECT_FALSE(backend_.ExitCalled());
  // The worker was unwound and joined: a loop still running would go on counting.
  const int after = calls;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(calls, after);
}

TEST_F(HeadlessBackendTest, ExitFromAWorkerEndsTheDialogLoopWithTheWorkersCode) {
  struct Starter : CDialog {
    Starter() : CDialog(kMainDialogTemplateId) {}
    BOOL OnInitDialog() override {
      AfxBeginThread(
          [](void*) -> UINT {
            CurrentDialogBackend().SetText(nullptr, "");
            static_cast<HeadlessBackend&>(CurrentDialogBackend()).process().Exit(7);
            return 0;  // not reached: Exit unwinds the thread
          },
          nullptr);
      return 1;
    }
  };

  const int code = backend_.RunProcess([] {
    Starter dialog;
    dialog.DoModal();
    return 0;
  });

  EXPECT_EQ(code, 7);
  EXPECT_TRUE(backend_.ExitCalled());
  EXPECT_TRUE(backend_.EventsOf(HeadlessEvent::Kind::kStalled).empty());
}

}  // namespace
}  // namespace velkor
