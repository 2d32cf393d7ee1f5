// Dialog toolkit backend on plain Win32: the modal dialog from the module's template, its
// controls' messages routed to the toolkit, and GDI for colours, brushes and fonts.
#pragma once

#include "platform/dialog_toolkit.h"

namespace velkor::win32 {

// Calls that arrive on another thread than the dialog's (the update worker) are handed to the
// dialog's thread with SendMessage, so they are served there before the call returns.
class Win32DialogBackend : public DialogBackend {
 public:
  BOOL InitCommonControls(const INITCOMMONCONTROLSEX& controls) override;

  INT_PTR RunModalDialog(int templateId, HWND parent, LPARAM initParam) override;
  BOOL EndModalDialog(HWND dialog, INT_PTR result) override;
  HWND DialogItem(HWND dialog, int controlId) override;

  LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT DefaultProcessing(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  BOOL SetText(HWND window, const char* text) override;
  std::string Text(HWND window) override;
  BOOL Redraw(HWND window, const RECT* update, UINT flags) override;
  BOOL Invalidate(HWND window, const RECT* rect, BOOL erase) override;
  BOOL UpdateNow(HWND window) override;
  UINT_PTR StartTimer(HWND window, UINT_PTR id, UINT periodMs) override;
  BOOL StopTimer(HWND window, UINT_PTR id) override;
  BOOL Minimised(HWND window) override;
  BOOL ClientRect(HWND window, RECT* rect) override;

  HDC BeginPainting(HWND window) override;
  void EndPainting(HWND window, HDC dc) override;
  HFONT SelectFont(HDC dc, HFONT font) override;
  COLORREF SetDcTextColor(HDC dc, COLORREF color) override;
  int SetDcBackgroundMode(HDC dc, int mode) override;
  BOOL PaintIcon(HDC dc, int x, int y, HICON icon) override;

  COLORREF SystemColor(int index) override;
  HBRUSH NewSolidBrush(COLORREF color) override;
  HFONT NewFont(const LOGFONTA& description) override;
  BOOL DeleteGraphicsObject(HGDIOBJ object) override;
  BOOL DefaultGuiFont(LOGFONTA* description) override;
  int SystemMetric(int index) override;
  HICON LoadAppIcon(int resourceId) override;
  HCURSOR ChangeCursor(HCURSOR cursor) override;
  void ShellOpen(const char* file) override;

  bool StartThread(ThreadProc proc, void* parameter) override;
  // A logoff or shutdown is answered FALSE (WM_QUERYENDSESSION) with the reason shown, and the
  // system menu's Close is greyed out, until released.
  void HoldSessionEnd(HWND dialog, const char* reason) override;
  void ReleaseSessionEnd(HWND dialog) override;
};

}  // namespace velkor::win32
