// The terminal dialog backend running a real modal dialog of the toolkit: worker calls served by
// the dialog's thread, timers, keys, signals, and calls after the dialog has gone.
#include "platform/linux/terminal_backend.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/dialog_template.h"

namespace velkor {
namespace {

constexpr COLORREF kRed = 0x000000FF;

class RecordingProgress : public CProgressCtrl {
 public:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == kPbmSetPos) {
      servedOn = std::this_thread::get_id();
    }
    return CProgressCtrl::WindowProc(message, wParam, lParam);
  }
  std::thread::id servedOn;
};

class ColoredLabel : public CStatic {
 public:
  std::atomic<COLORREF> color{0};

 protected:
  HBRUSH CtlColor(CDC* dc, UINT /*ctlColor*/) override {
    dc->SetTextColor(color);
    return nullptr;
  }
};

// The main dialog template with a label and a bar; what it does is set per test.
class TestDialog : public CDialog {
 public:
  TestDialog() : CDialog(kMainDialogTemplateId) {}
  std::function<void(TestDialog&)> onInit;
  std::function<void(TestDialog&, UINT_PTR)> onTimer;
  int closes = 0;
  ColoredLabel label;
  RecordingProgress progress;

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    label.SetWindowText("Ready");
    if (onInit) {
      onInit(*this);
    }
    return 1;
  }
  void DoDataExchange(CDataExchange* exchange) override {
    DDX_Control(exchange, kStatusLabelId, label);
    DDX_Control(exchange, kProgressBarId, progress);
  }
  void OnTimer(UINT_PTR id) override {
    if (onTimer) {
      onTimer(*this, id);
    }
  }
  void OnClose() override {
    ++closes;
    CDialog::OnClose();
  }
};

class TerminalBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::pipe(keys_), 0);
    InstallDialogBackend(&backend_);
  }
  void TearDown() override {
    ::close(keys_[0]);
    ::close(keys_[1]);
  }
  void Type(const char* bytes) {
    ASSERT_EQ(::write(keys_[1], bytes, std::strlen(bytes)),
              static_cast<ssize_t>(std::strlen(bytes)));
  }

  std::string output_;
  TerminalView view_{TerminalView::Mode::kLines, 60,
                     [this](const std::string& text) { output_ += text; }};
  int keys_[2] = {-1, -1};
  TerminalBackend backend_{view_, keys_[0], false};
};

// The backend reads keys_[0], which SetUp creates after the member was built: rebuild it there.
class TerminalBackendWithKeys : public TerminalBackendTest {
 protected:
  void SetUp() override {
    TerminalBackendTest::SetUp();
    keyed_ = std::make_unique<TerminalBackend>(view_, keys_[0], false);
    InstallDialogBackend(keyed_.get());
  }
  std::unique_ptr<TerminalBackend> keyed_;
};

TEST_F(TerminalBackendTest, WorkerCallsAreServedByTheDialogThreadAndDrawn) {
  TestDialog dialog;
  std::thread worker;
  // The worker starts at the first tick, once the dialog is on screen.
  dialog.onInit = [](TestDialog& d) { d.SetTimer(1, 1); };
  dialog.onTimer = [&](TestDialog& d, UINT_PTR) {
    d.KillTimer(1);
    worker = std::thread([&d] {
      d.label.color = kRed;
      d.label.RedrawWindow();
      d.label.SetWindowText("Working");
      d.progress.SetPos(75);
      std::string text;
      d.label.GetWindowText(text);
      EXPECT_EQ(text, "Working");
      d.SendMessage(kWmClose);
    });
  };
  EXPECT_EQ(dialog.DoModal(), kIdCancel);
  worker.join();
  EXPECT_EQ(dialog.progress.servedOn, std::this_thread::get_id());
  EXPECT_EQ(dialog.closes, 1);
  EXPECT_EQ(output_,
            "Update RX274B-T61C-LM07-QP-R06.00.01 Firmware\n"
            "status: Ready\n"
            "progress: 0%\n"
            "status: Ready [red]\n"
            "status: Working [red]\n"
            "progress: 75%\n");
}

TEST_F(TerminalBackendTest, TimersTickUntilStoppedAndAKilledTimerStaysQuiet) {
  TestDialog dialog;
  int ticks = 0;
  dialog.onInit = [](TestDialog& d) { d.SetTimer(1, 20); };
  dialog.onTimer = [&](TestDialog& d, UINT_PTR id) {
    if (id == 2) {
      d.EndDialog(kIdOk);
    } else if (++ticks == 3) {
      // Timer 1 must not tick again during timer 2's 100 ms.
      d.KillTimer(1);
      d.SetTimer(2, 100);
    }
  };
  EXPECT_EQ(dialog.DoModal(), kIdOk);
  EXPECT_EQ(ticks, 3);
}

TEST_F(TerminalBackendTest, ASignalClosesTheDialogAsTheCloseButtonDoes) {
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    TestDialog dialog;
    dialog.onInit = [](TestDialog& d) { d.SetTimer(1, 10); };
    dialog.onTimer = [&](TestDialog& d, UINT_PTR) {
      d.KillTimer(1);
      ::raise(signalNumber);
    };
    EXPECT_EQ(dialog.DoModal(), kIdCancel) << signalNumber;
    EXPECT_EQ(dialog.closes, 1) << signalNumber;
  }
}

TEST_F(TerminalBackendTest, OutputWhoseReaderIsGoneFailsWithoutEndingTheProcess) {
  int output[2];
  ASSERT_EQ(::pipe(output), 0);
  ::close(output[0]);
  TestDialog dialog;
  ssize_t written = 0;
  int error = 0;
  dialog.onInit = [&](TestDialog& d) {
    // As a pipe to a reader that went away while the update writes its status.
    written = ::write(output[1], "status", 6);
    error = errno;
    d.EndDialog(kIdOk);
  };
  EXPECT_EQ(dialog.DoModal(), kIdOk);
  ::close(output[1]);
  EXPECT_EQ(written, -1);
  EXPECT_EQ(error, EPIPE);
}

TEST_F(TerminalBackendTest, CallsFromAWorkerAfterTheDialogEndedReturnAtOnce) {
  TestDialog dialog;
  dialog.onInit = [](TestDialog& d) { d.EndDialog(kIdOk); };
  EXPECT_EQ(dialog.DoModal(), kIdOk);
  std::thread late([&] {
    dialog.label.SetWindowText("too late");
    EXPECT_EQ(dialog.progress.SetPos(50), 0);
    std::string text;
    dialog.label.GetWindowText(text);
    EXPECT_EQ(text, "");
  });
  late.join();
  EXPECT_EQ(output_.find("too late"), std::string::npos);
}

TEST_F(TerminalBackendWithKeys, EnterIsOkAndCursorKeysAreNotEscape) {
  Type("x\x1b[A\x1bOB\r");
  TestDialog dialog;
  EXPECT_EQ(dialog.DoModal(), kIdOk);
}

TEST_F(TerminalBackendWithKeys, EscapeIsCancel) {
  Type("\x1b");
  TestDialog dialog;
  EXPECT_EQ(dialog.DoModal(), kIdCancel);
  EXPECT_EQ(dialog.closes, 0);
}

TEST_F(TerminalBackendWithKeys, AClosedKeyboardLeavesTheDialogRunning) {
  ::close(keys_[1]);
  keys_[1] = ::dup(keys_[0]);  // something valid for TearDown to close
  TestDialog dialog;
  int ticks = 0;
  dialog.onInit = [](TestDialog& d) { d.SetTimer(1, 10); };
  dialog.onTimer = [&](TestDialog& d, UINT_PTR) {
    if (++ticks == 2) {
      d.EndDialog(kIdOk);
    }
  };
  EXPECT_EQ(dialog.DoModal(), kIdOk);
  EXPECT_EQ(ticks, 2);
}

TEST(TerminalBackendTemplates, AnUnknownTemplateFailsTheModalRun) {
  std::string output;
  TerminalView view(TerminalView::Mode::kLines, 60, [&](const std::string& t) { output += t; });
  TerminalBackend backend(view, -1, false);
  InstallDialogBackend(&backend);
  CDialog dialog(4242);
  EXPECT_EQ(dialog.DoModal(), -1);
  EXPECT_EQ(output, "");
}

// A close signal must reach the dialog thread's handler, never a worker in the middle of the
// flash write; the caller's own mask is left as it was.
TEST(TerminalBackendThreads, WorkersStartWithTheCloseSignalsBlocked) {
  TerminalView view(TerminalView::Mode::kLines, 60, [](const std::string&) {});
  TerminalBackend backend(view, -1, false);
  static std::atomic<int> blocked{-1};
  ASSERT_TRUE(backend.StartThread(
      [](void*) -> UINT {
        sigset_t mask;
        pthread_sigmask(SIG_SETMASK, nullptr, &mask);
        blocked =
            sigismember(&mask, SIGINT) + sigismember(&mask, SIGHUP) + sigismember(&mask, SIGTERM);
        return 0;
      },
      nullptr));
  while (blocked.load() < 0) {
    std::this_thread::yield();
  }
  EXPECT_EQ(blocked.load(), 3);
  sigset_t own;
  pthread_sigmask(SIG_SETMASK, nullptr, &own);
  EXPECT_EQ(sigismember(&own, SIGINT), 0);
}

}  // namespace
}  // namespace velkor
