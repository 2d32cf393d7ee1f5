// The dialog probe's checks: resources of the program behind the window, the live window,
// and the status line's pixels on a real display.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <cstdio>
#include <string>

namespace probe {

// Counts and prints the outcome of each check.
struct Report {
  int failures = 0;
  void Check(bool ok, const std::string& what, const std::string& detail = "") {
    if (ok) {
      std::printf("PASS: %s\n", what.c_str());
    } else {
      std::printf("FAIL: %s%s%s\n", what.c_str(), detail.empty() ? "" : ": ", detail.c_str());
      ++failures;
    }
    std::fflush(stdout);
  }
};

std::string Hex(unsigned long value);

// Template 102, group icon 128, version resource and manifest of the executable that owns the
// dialog, read from its file.
void CheckResources(HWND dialog, Report& report);
// Caption, styles, controls, status text, progress position and icons of the running dialog.
void CheckLiveWindow(HWND dialog, Report& report);
// Saves the screen to bmpPath and checks that the status line is drawn in pure blue with the
// 18-unit font and that the progress bar shows the position.
void CheckStatusPixels(HWND dialog, const char* bmpPath, int position, Report& report);

}  // namespace probe
