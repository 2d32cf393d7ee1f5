// Looks at the updater's running dialog from outside, the way a user or a test rig sees it:
// the resources of the program that owns the window (template 102, icon 128, version, manifest),
// the live window and its controls, and on a real display the pixels of the status line.
//
//   dialog_probe check            wait for "Detect Device!!!", check resources and window
//   dialog_probe shoot TEXT FILE POSITION
//                                     wait for the status TEXT, save the screen as a BMP FILE and
//                                     check the status line's colour and text height and the
//                                     progress bar's POSITION there
//   dialog_probe close [TEXT]     wait for the dialog (and for the status TEXT, when given) and
//                                 close it (WM_CLOSE)
//   dialog_probe interrupt RESULT_LOG
//                                 wait until RESULT_LOG holds the provisional "Fail" (the flash
//                                 window is open), check that a logoff is refused, close the
//                                 window by SC_CLOSE and WM_CLOSE, check that the close is noted
//                                 on the status line, and that a logoff is allowed again once the
//                                 update has ended
//
// Prints one "PASS: ..." or "FAIL: ..." line per check; the exit code is the number of failures
// (100 when the dialog never appeared).
#include "tests/wine/dialog_probe/probe_checks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const wchar_t kCaption[] = L"Update RX274B-T61C-LM07-QP-R06.00.01 Firmware";
constexpr int kStatusLabelId = 1001;
constexpr DWORD kWaitMs = 20000;

// Waits for the dialog and, when text is given, for the status line to show it.
HWND WaitForDialog(const wchar_t* text) {
  const ULONGLONG start = GetTickCount64();
  while (GetTickCount64() - start < kWaitMs) {
    HWND dialog = FindWindowW(nullptr, kCaption);
    // The status text is set while the dialog is still hidden; wait until it is shown.
    if (dialog != nullptr && IsWindowVisible(dialog)) {
      if (text == nullptr) {
        return dialog;
      }
      wchar_t shown[128] = {};
      GetWindowTextW(GetDlgItem(dialog, kStatusLabelId), shown, 128);
      if (std::wcscmp(shown, text) == 0) {
        Sleep(100);  // let the first paint finish
        return dialog;
      }
    }
    Sleep(10);
  }
  return nullptr;
}

bool FileHolds(const char* path, const char* bytes) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    return false;
  }
  char content[32] = {};
  const std::size_t length = std::fread(content, 1, sizeof content, file);
  std::fclose(file);
  return length == std::strlen(bytes) && std::memcmp(content, bytes, length) == 0;
}

// What the window answers a logoff: TRUE lets it go on. -1 when it did not answer.
LRESULT QueryEndSession(HWND dialog) {
  DWORD_PTR answer = 0;
  if (SendMessageTimeoutW(dialog, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000,
                          &answer) == 0) {
    return -1;
  }
  return static_cast<LRESULT>(answer);
}

// Closes the window inside the flash window and follows the update to its end.
void Interrupt(HWND dialog, const char* resultLog, probe::Report& report) {
  const ULONGLONG start = GetTickCount64();
  while (!FileHolds(resultLog, "Fail") && IsWindow(dialog) && GetTickCount64() - start < 60000) {
    Sleep(5);
  }
  const bool inWindow = FileHolds(resultLog, "Fail");
  report.Check(inWindow, "Result.log held \"Fail\" during the update");
  if (!inWindow) {
    return;
  }
  report.Check(QueryEndSession(dialog) == FALSE, "a logoff during the update was refused");
  // The greyed system menu is checked in the adapter suite: menus are the owning process's
  // objects under Wine, so it cannot be read from here.
  report.Check(PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0) != 0, "SC_CLOSE posted");
  report.Check(PostMessageW(dialog, WM_CLOSE, 0, 0) != 0, "WM_CLOSE posted");
  bool noted = false;
  bool allowed = false;
  while (IsWindow(dialog) && GetTickCount64() - start < 90000) {
    wchar_t shown[128] = {};
    GetWindowTextW(GetDlgItem(dialog, kStatusLabelId), shown, 128);
    noted = noted || std::wcscmp(shown, L"Finishing the update, please wait ...") == 0;
    // Once the update has ended, a logoff may go on while the program shows its verdict.
    if (std::wcscmp(shown, L"Update Finish.") == 0 && !allowed) {
      allowed = QueryEndSession(dialog) == TRUE;
    }
    Sleep(5);
  }
  report.Check(noted, "the status line noted the close");
  report.Check(allowed, "a logoff after the update was allowed");
}

std::wstring Widen(const char* text) {
  std::wstring wide;
  for (; *text != '\0'; ++text) {
    wide.push_back(static_cast<unsigned char>(*text));
  }
  return wide;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  probe::Report report;
  if (command == "check" && argc == 2) {
    HWND dialog = WaitForDialog(L"Detect Device!!!");
    if (dialog == nullptr) {
      std::puts("FAIL: the dialog showed \"Detect Device!!!\" within 20 s");
      return 100;
    }
    probe::CheckResources(dialog, report);
    probe::CheckLiveWindow(dialog, report);
  } else if (command == "shoot" && argc == 5) {
    const std::wstring text = Widen(argv[2]);
    HWND dialog = WaitForDialog(text.c_str());
    if (dialog == nullptr) {
      std::printf("FAIL: the dialog showed \"%s\" within 20 s\n", argv[2]);
      return 100;
    }
    probe::CheckStatusPixels(dialog, argv[3], std::atoi(argv[4]), report);
  } else if (command == "close" && (argc == 2 || argc == 3)) {
    const std::wstring text = Widen(argc == 3 ? argv[2] : "Detect Device!!!");
    HWND dialog = WaitForDialog(text.c_str());
    if (dialog == nullptr) {
      std::printf("FAIL: the dialog showed \"%ls\" within 20 s\n", text.c_str());
      return 100;
    }
    report.Check(PostMessageW(dialog, WM_CLOSE, 0, 0) != 0, "WM_CLOSE posted to the dialog");
  } else if (command == "interrupt" && argc == 3) {
    HWND dialog = WaitForDialog(nullptr);
    if (dialog == nullptr) {
      std::puts("FAIL: the dialog appeared within 20 s");
      return 100;
    }
    Interrupt(dialog, argv[2], report);
  } else {
    std::fputs(
        "usage: dialog_probe check | shoot TEXT FILE.bmp POSITION | close [TEXT] | "
        "interrupt RESULT_LOG\n",
        stderr);
    return 100;
  }
  return report.failures;
}
