// Checks of the running dialog: what any program can read back from its windows, and the
// status line's pixels as they reach the screen.
#include "tests/wine/dialog_probe/probe_checks.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace probe {
namespace {

struct LiveControl {
  int id;
  const wchar_t* className;
  DWORD style;
};

const LiveControl kLiveControls[] = {
    {IDOK, L"Button", 0x40010001},
    {IDCANCEL, L"Button", 0x40010000},
    {1001, L"Static", 0x50020201},
    // The template's bit 0x08 (PBS_MARQUEE to newer controls) is cleared on the live bar so
    // that it shows the positions it is sent.
    {1000, L"msctls_progress32", 0x50000000},
};

std::string Narrow(const wchar_t* text) {
  std::string narrow;
  for (; *text != 0; ++text) {
    narrow.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
  }
  return narrow;
}

bool SaveBitmap(const char* path, const std::vector<BYTE>& pixels, int width, int height) {
  // 32-bit top-down pixels in, 24-bit bottom-up BMP out.
  const int rowBytes = (width * 3 + 3) & ~3;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(info);
  file.bfSize = file.bfOffBits + rowBytes * height;
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  std::FILE* out = std::fopen(path, "wb");
  if (out == nullptr) {
    return false;
  }
  std::fwrite(&file, sizeof(file), 1, out);
  std::fwrite(&info, sizeof(info), 1, out);
  std::vector<BYTE> row(rowBytes, 0);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const BYTE* pixel = &pixels[(static_cast<size_t>(y) * width + x) * 4];
      row[x * 3] = pixel[0];
      row[x * 3 + 1] = pixel[1];
      row[x * 3 + 2] = pixel[2];
    }
    std::fwrite(row.data(), 1, row.size(), out);
  }
  return std::fclose(out) == 0;
}

}  // namespace

void CheckLiveWindow(HWND dialog, Report& report) {
  wchar_t caption[128] = {};
  GetWindowTextW(dialog, caption, 128);
  report.Check(Narrow(caption) == "Update RX274B-T61C-LM07-QP-R06.00.01 Firmware", "window caption",
               Narrow(caption));
  const DWORD style = static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(dialog, GWL_EXSTYLE));
  report.Check((style & 0x90C800C8) == 0x90C800C8 &&
                   (style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) == 0,
               "window style: visible popup with caption and system menu, fixed size", Hex(style));
  report.Check((exStyle & WS_EX_APPWINDOW) != 0, "window has a taskbar button", Hex(exStyle));

  for (const LiveControl& expected : kLiveControls) {
    const std::string name = "control " + std::to_string(expected.id);
    HWND control = GetDlgItem(dialog, expected.id);
    if (control == nullptr) {
      report.Check(false, name + " exists");
      continue;
    }
    wchar_t className[64] = {};
    GetClassNameW(control, className, 64);
    report.Check(lstrcmpiW(className, expected.className) == 0, name + " class", Narrow(className));
    const DWORD controlStyle = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
    report.Check(controlStyle == expected.style, name + " style", Hex(controlStyle));
  }

  HWND label = GetDlgItem(dialog, 1001);
  wchar_t status[64] = {};
  GetWindowTextW(label, status, 64);
  report.Check(Narrow(status) == "Detect Device!!!", "status line text", Narrow(status));

  HWND progress = GetDlgItem(dialog, 1000);
  // No pointer may cross into the updater's process: the range comes back limit by limit.
  const LRESULT low = SendMessageW(progress, PBM_GETRANGE, TRUE, 0);
  const LRESULT high = SendMessageW(progress, PBM_GETRANGE, FALSE, 0);
  const LRESULT position = SendMessageW(progress, PBM_GETPOS, 0, 0);
  report.Check(
      low == 0 && high == 100 && position == 0, "progress bar at 0 of 0..100",
      std::to_string(position) + " of " + std::to_string(low) + ".." + std::to_string(high));
}

void CheckStatusPixels(HWND dialog, const char* bmpPath, int position, Report& report) {
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  const bool copied = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY) != 0;
  std::vector<BYTE> pixels(static_cast<BYTE*>(bits),
                           static_cast<BYTE*>(bits) + static_cast<size_t>(width) * height * 4);
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  report.Check(copied && SaveBitmap(bmpPath, pixels, width, height), "screen saved", bmpPath);

  // Within the status line: pure blue pixels (0x00FF0000 as COLORREF) and their height.
  RECT area{};
  GetWindowRect(GetDlgItem(dialog, 1001), &area);
  int blue = 0, red = 0, top = height, bottom = -1;
  for (int y = std::max<LONG>(area.top, 0); y < std::min<LONG>(area.bottom, height); ++y) {
    for (int x = std::max<LONG>(area.left, 0); x < std::min<LONG>(area.right, width); ++x) {
      const BYTE* pixel = &pixels[(static_cast<size_t>(y) * width + x) * 4];
      if (pixel[0] == 255 && pixel[1] == 0 && pixel[2] == 0) {
        ++blue;
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      } else if (pixel[0] == 0 && pixel[1] == 0 && pixel[2] == 255) {
        ++red;
      }
    }
  }
  const int textHeight = bottom >= top ? bottom - top + 1 : 0;
  report.Check(blue > 50 && red == 0, "status line drawn in pure blue",
               std::to_string(blue) + " blue, " + std::to_string(red) + " red pixels");
  // The 18-unit font draws capitals of about 13 pixels; the dialog's 8-point font about 8.
  report.Check(textHeight >= 11, "status line drawn with the 18-unit font",
               std::to_string(textHeight) + " px of text height");

  // The progress bar: its position, and how much of its middle row is filled with the bar's
  // colour (the system highlight colour).
  HWND bar = GetDlgItem(dialog, 1000);
  const LRESULT shown = SendMessageW(bar, PBM_GETPOS, 0, 0);
  report.Check(shown == position, "progress position " + std::to_string(position),
               std::to_string(shown));
  GetWindowRect(bar, &area);
  const COLORREF fill = GetSysColor(COLOR_HIGHLIGHT);
  const int row = (area.top + area.bottom) / 2;
  int filled = 0;
  for (int x = area.left; x < area.right && row >= 0 && row < height; ++x) {
    if (x < 0 || x >= width) {
      continue;
    }
    const BYTE* pixel = &pixels[(static_cast<size_t>(row) * width + x) * 4];
    filled += RGB(pixel[2], pixel[1], pixel[0]) == fill ? 1 : 0;
  }
  const int percent = 100 * filled / std::max<LONG>(area.right - area.left, 1);
  report.Check(std::abs(percent - position) <= 6,
               "progress bar drawn filled to about " + std::to_string(position) + "%",
               std::to_string(percent) + "%");
}

}  // namespace probe
