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
  } else {
    std::fputs("usage: dialog_probe check | shoot TEXT FILE.bmp POSITION | close [TEXT]\n", stderr);
    return 100;
  }
  return report.failures;
}
