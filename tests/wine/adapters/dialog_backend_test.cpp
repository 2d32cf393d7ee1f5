// The Win32 dialog backend running template 102 in this process: messages reach the toolkit's
// handlers with their results, the label's colour handler decides the static control's brush
// and font, worker calls are served on the dialog's thread, and WM_CLOSE ends the dialog.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <string>

#include "platform/dialog_toolkit.h"
#include "platform/win32/win32_dialog_backend.h"

// The toolkit's CFont::CreateFontIndirect, not the Win32 macro.
#undef CreateFontIndirect

namespace velkor::win32 {
namespace {

constexpr int kLabelId = 1001;
constexpr int kProgressId = 1000;
constexpr UINT_PTR kProbeTimer = 7;
const auto kFakeDragIcon = reinterpret_cast<velkor::HCURSOR>(0x1234);

// A label that picks its own brush and font, like the updater's status line.
class ColourLabel : public CStatic {
 public:
  ColourLabel() {
    velkor::LOGFONTA description{};
    CurrentDialogBackend().DefaultGuiFont(&description);
    description.lfHeight = -18;
    font.CreateFontIndirect(&description);
    brush = CurrentDialogBackend().NewSolidBrush(0x00FFFFFF);
  }
  ~ColourLabel() override { CurrentDialogBackend().DeleteGraphicsObject(brush); }

  velkor::HBRUSH CtlColor(CDC* dc, velkor::UINT) override {
    ++colourRequests;
    dc->SelectObject(&font);
    dc->SetTextColor(0x00FF0000);
    return brush;
  }

  CFont font;
  velkor::HBRUSH brush = nullptr;
  int colourRequests = 0;
};

struct Observations {
  LRESULT dragIcon = 0;
  LONG_PTR progressStyle = 0;
  int colourRequests = 0;
  bool labelDrawsWithItsFont = false;
  std::string workerText;
  LRESULT workerPosition = -1;
  DWORD dialogThread = 0;
};

Observations seen;
std::atomic<bool> workerDone{false};

// Runs on its own thread: the calls a worker makes while the dialog's thread keeps running.
velkor::UINT Worker(void* parameter) {
  auto* dialog = static_cast<CDialog*>(parameter);
  DialogBackend& backend = CurrentDialogBackend();
  velkor::HWND label = backend.DialogItem(dialog->m_hWnd, kLabelId);
  backend.SetText(label, "Set by the worker");
  seen.workerText = backend.Text(label);
  backend.Send(backend.DialogItem(dialog->m_hWnd, kProgressId), kPbmSetPos, 40, 0);
  backend.Redraw(label, nullptr, kRdwInvalidate | kRdwErase | kRdwUpdateNow);
  workerDone = true;
  return 0;
}

class ProbeDialog : public CDialog {
 public:
  ProbeDialog() : CDialog(102) {}

  ColourLabel label;

 protected:
  void DoDataExchange(CDataExchange* exchange) override { DDX_Control(exchange, kLabelId, label); }
  velkor::BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    seen.dialogThread = GetCurrentThreadId();
    SetTimer(kProbeTimer, 50);
    return 1;
  }
  velkor::HCURSOR OnQueryDragIcon() override { return kFakeDragIcon; }
  void OnTimer(velkor::UINT_PTR) override {
    ::HWND self = reinterpret_cast<::HWND>(m_hWnd);
    ::HWND labelWindow = GetDlgItem(self, kLabelId);
    if (seen.dragIcon == 0) {
      seen.dragIcon = ::SendMessageW(self, WM_QUERYDRAGICON, 0, 0);
      seen.progressStyle = GetWindowLongPtrW(GetDlgItem(self, kProgressId), GWL_STYLE);
      ::RedrawWindow(labelWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
      seen.colourRequests = label.colourRequests;
      seen.labelDrawsWithItsFont = ::SendMessageW(labelWindow, WM_GETFONT, 0, 0) ==
                                   reinterpret_cast<LRESULT>(label.font.GetSafeHandle());
      AfxBeginThread(&Worker, this);
    } else if (workerDone) {
      KillTimer(kProbeTimer);
      seen.workerPosition = ::SendMessageW(GetDlgItem(self, kProgressId), PBM_GETPOS, 0, 0);
      ::PostMessageW(self, WM_CLOSE, 0, 0);
    }
  }
};

// A worker holds the session's end while the dialog's thread asks as a logoff would, then
// releases it and the dialog's thread asks again.
struct SessionObservations {
  LRESULT whileHeld = -1;
  LRESULT afterRelease = -1;
  UINT closeWhileHeld = 0;
  UINT closeAfterRelease = 0;
};
SessionObservations session;
std::atomic<int> sessionStage{0};

velkor::UINT SessionWorker(void* parameter) {
  auto* dialog = static_cast<CDialog*>(parameter);
  CurrentDialogBackend().HoldSessionEnd(dialog->m_hWnd, "Updating camera firmware.");
  sessionStage = 1;
  while (sessionStage != 2) {
    Sleep(5);
  }
  CurrentDialogBackend().ReleaseSessionEnd(dialog->m_hWnd);
  sessionStage = 3;
  return 0;
}

class SessionDialog : public CDialog {
 public:
  SessionDialog() : CDialog(102) {}

 protected:
  velkor::BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    SetTimer(kProbeTimer, 20);
    AfxBeginThread(&SessionWorker, this);
    return 1;
  }
  void OnTimer(velkor::UINT_PTR) override {
    ::HWND self = reinterpret_cast<::HWND>(m_hWnd);
    const auto ask = [self] {
      return ::SendMessageW(self, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    };
    const auto close = [self] {
      return GetMenuState(GetSystemMenu(self, FALSE), SC_CLOSE, MF_BYCOMMAND);
    };
    if (sessionStage == 1) {
      session.whileHeld = ask();
      session.closeWhileHeld = close();
      sessionStage = 2;
    } else if (sessionStage == 3) {
      session.afterRelease = ask();
      session.closeAfterRelease = close();
      KillTimer(kProbeTimer);
      ::PostMessageW(self, WM_CLOSE, 0, 0);
    }
  }
};

TEST(Win32DialogBackendTest, HeldSessionEndRefusesALogoffAndGreysCloseUntilReleased) {
  Win32DialogBackend backend;
  InstallDialogBackend(&backend);
  SessionDialog dialog;

  EXPECT_EQ(dialog.DoModal(), kIdCancel);

  EXPECT_EQ(session.whileHeld, FALSE);
  EXPECT_NE(session.afterRelease, FALSE);
  EXPECT_NE(session.closeWhileHeld & MF_GRAYED, 0u);
  EXPECT_EQ(session.closeAfterRelease & MF_GRAYED, 0u);
}

TEST(Win32DialogBackendTest, DialogServesTheToolkitAndItsWorkerAndEndsOnClose) {
  Win32DialogBackend backend;
  InstallDialogBackend(&backend);
  velkor::INITCOMMONCONTROLSEX controls = {sizeof(controls), kIccWin95Classes};
  backend.InitCommonControls(controls);
  ProbeDialog dialog;

  const INT_PTR result = dialog.DoModal();

  EXPECT_EQ(result, kIdCancel) << "WM_CLOSE ends the dialog as Cancel";
  EXPECT_EQ(seen.dragIcon, reinterpret_cast<LRESULT>(kFakeDragIcon));
  EXPECT_EQ(seen.progressStyle & 0x08, 0) << "the progress bar must show positions";
  EXPECT_GE(seen.colourRequests, 1) << "painting the label asks the label for its colours";
  EXPECT_TRUE(seen.labelDrawsWithItsFont);
  EXPECT_EQ(seen.workerText, "Set by the worker");
  EXPECT_EQ(seen.workerPosition, 40);
  EXPECT_EQ(seen.dialogThread, GetCurrentThreadId());
}

}  // namespace
}  // namespace velkor::win32
