// Dialog toolkit port: the subset of the dialog framework the updater uses (application object,
// modal dialog from a template, controls, timers, redraw, worker threads, colours and fonts),
// written once in portable code on top of a DialogBackend that each platform implements.
//
// Shape: a backend works like the Win32 window manager. It owns the windows, hands out opaque
// handles, and delivers every message for the dialog and its controls to DispatchToWindow(),
// which routes it to the CWnd bound to the handle. Calls made from another thread (a worker
// setting a window text, a progress position or asking for a redraw) are synchronous: the
// backend has the user-interface thread serve them and returns only then. The user-interface
// thread never waits for a worker.
//
// This header needs no platform header. Framework names that windows.h turns into macros
// (SetWindowText, GetWindowText, SendMessage, LoadIcon, DrawIcon, ...) are shielded while the
// declarations below are read, so a backend may include windows.h before this header; its own
// code then calls the backend interface, whose method names collide with nothing. Constants carry
// a k prefix for the same reason (WM_TIMER and friends are macros there).
#pragma once

#include <cstdint>
#include <string>

#pragma push_macro("SetWindowText")
#pragma push_macro("GetWindowText")
#pragma push_macro("SendMessage")
#pragma push_macro("LoadIcon")
#pragma push_macro("DrawIcon")
#pragma push_macro("GetObject")
#pragma push_macro("CreateFontIndirect")
#pragma push_macro("InitCommonControlsEx")
#undef SetWindowText
#undef GetWindowText
#undef SendMessage
#undef LoadIcon
#undef DrawIcon
#undef GetObject
#undef CreateFontIndirect
#undef InitCommonControlsEx

namespace velkor {

// ---- Basic types (same widths as their Win32 counterparts on every platform) ----
using BOOL = int;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BYTE = std::uint8_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using COLORREF = std::uint32_t;  // 0x00BBGGRR

// Opaque handles; a backend gives them whatever meaning it likes and never dereferences ours.
struct WindowObject;
struct DeviceContextObject;
struct BrushObject;
struct FontObject;
struct IconObject;
struct CursorObject;
using HWND = WindowObject*;
using HDC = DeviceContextObject*;
using HBRUSH = BrushObject*;
using HFONT = FontObject*;
using HICON = IconObject*;
using HCURSOR = CursorObject*;
using HGDIOBJ = void*;  // a brush or a font, for DeleteObject

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
struct POINT {
  LONG x;
  LONG y;
};

// The 8-bit-character font description, 60 bytes as on Windows.
struct LOGFONTA {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  char lfFaceName[32];
};
static_assert(sizeof(LOGFONTA) == 60, "LOGFONTA is 60 bytes");

struct INITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
};

// ---- Constants, with the Win32 values ----
constexpr UINT kWmSetIcon = 0x0080;
constexpr UINT kWmClose = 0x0010;
constexpr UINT kWmPaint = 0x000F;
constexpr UINT kWmQueryDragIcon = 0x0037;
constexpr UINT kWmIconEraseBkgnd = 0x0027;
constexpr UINT kWmSetCursor = 0x0020;
constexpr UINT kWmInitDialog = 0x0110;
constexpr UINT kWmCommand = 0x0111;
constexpr UINT kWmTimer = 0x0113;
constexpr UINT kWmCtlColorStatic = 0x0138;
constexpr UINT kWmLButtonDown = 0x0201;
constexpr UINT kPbmSetPos = 0x0402;  // WM_USER + 2

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

constexpr int kIconSmall = 0;  // WM_SETICON wParam
constexpr int kIconBig = 1;

constexpr UINT kRdwInvalidate = 0x0001;
constexpr UINT kRdwErase = 0x0004;
constexpr UINT kRdwUpdateNow = 0x0100;

constexpr UINT kCtlColorStatic = 6;  // nCtlColor of WM_CTLCOLORSTATIC
constexpr int kBkModeTransparent = 1;
constexpr int kBkModeOpaque = 2;

constexpr int kColorWindowText = 8;  // GetSysColor indices
constexpr int kColorBtnFace = 15;

constexpr int kSmCxIcon = 11;  // GetSystemMetrics indices
constexpr int kSmCyIcon = 12;

constexpr DWORD kIccWin95Classes = 0x000000FF;
constexpr int kSwShowNormal = 1;

// ---- The port each platform implements ----

using ThreadProc = UINT (*)(void* parameter);

class DialogBackend {
 public:
  virtual ~DialogBackend() = default;

  // InitCommonControlsEx.
  virtual BOOL InitCommonControls(const INITCOMMONCONTROLSEX& controls) = 0;

  // DialogBoxParam: creates the dialog of this template hidden, delivers kWmInitDialog with
  // initParam as LPARAM, shows it and runs the modal loop on the calling thread until
  // EndModalDialog. Returns the result given to EndModalDialog, or -1 when the dialog could not
  // be created.
  virtual INT_PTR RunModalDialog(int templateId, HWND parent, LPARAM initParam) = 0;
  virtual BOOL EndModalDialog(HWND dialog, INT_PTR result) = 0;
  virtual HWND DialogItem(HWND dialog, int controlId) = 0;  // GetDlgItem

  // Window operations (SendMessage, SetWindowText, ...). Safe from any thread: a call from
  // another thread than the dialog's is served by the dialog's thread before it returns.
  virtual LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  // What the platform does with a message the application passed on (DefWindowProc, the
  // control's own procedure, or the dialog manager's handling: WM_CLOSE becomes IDCANCEL).
  virtual LRESULT DefaultProcessing(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  virtual BOOL SetText(HWND window, const char* text) = 0;
  virtual std::string Text(HWND window) = 0;
  virtual BOOL Redraw(HWND window, const RECT* update, UINT flags) = 0;  // RedrawWindow
  virtual BOOL Invalidate(HWND window, const RECT* rect, BOOL erase) = 0;
  virtual BOOL UpdateNow(HWND window) = 0;  // UpdateWindow
  virtual UINT_PTR StartTimer(HWND window, UINT_PTR id, UINT periodMs) = 0;
  virtual BOOL StopTimer(HWND window, UINT_PTR id) = 0;
  virtual BOOL Minimised(HWND window) = 0;  // IsIconic
  virtual BOOL ClientRect(HWND window, RECT* rect) = 0;

  // Painting (BeginPaint / EndPaint) and the device-context operations CLabel needs.
  virtual HDC BeginPainting(HWND window) = 0;
  virtual void EndPainting(HWND window, HDC dc) = 0;
  virtual HFONT SelectFont(HDC dc, HFONT font) = 0;
  virtual COLORREF SetDcTextColor(HDC dc, COLORREF color) = 0;
  virtual int SetDcBackgroundMode(HDC dc, int mode) = 0;
  virtual BOOL PaintIcon(HDC dc, int x, int y, HICON icon) = 0;

  // Graphics objects and system values.
  virtual COLORREF SystemColor(int index) = 0;
  virtual HBRUSH NewSolidBrush(COLORREF color) = 0;
  virtual HFONT NewFont(const LOGFONTA& description) = 0;
  virtual BOOL DeleteGraphicsObject(HGDIOBJ object) = 0;
  // The description of the stock DEFAULT_GUI_FONT (GetObject on it).
  virtual BOOL DefaultGuiFont(LOGFONTA* description) = 0;
  virtual int SystemMetric(int index) = 0;
  virtual HICON LoadAppIcon(int resourceId) = 0;  // group icon from the module's resources
  virtual HCURSOR ChangeCursor(HCURSOR cursor) = 0;
  virtual void ShellOpen(const char* file) = 0;  // ShellExecute(nullptr, "open", file, ...)

  // Starts a thread running proc(parameter) at once, at normal priority, default stack size.
  virtual bool StartThread(ThreadProc proc, void* parameter) = 0;

  // While held, requests to end the session or the process do not act on their own: a logoff
  // or shutdown is refused, with the reason for the system to show; a repeated signal no longer
  // ends the process. Requests that reach the dialog as WM_CLOSE still do. From any thread; the
  // defaults do nothing.
  virtual void HoldSessionEnd(HWND /*dialog*/, const char* /*reason*/) {}
  virtual void ReleaseSessionEnd(HWND /*dialog*/) {}
};

// Each executable installs its backend once in main(), before the application runs.
void InstallDialogBackend(DialogBackend* backend);
DialogBackend& CurrentDialogBackend();

// The one entry for every message a backend delivers: routes it to the CWnd bound to the handle
// (reflecting WM_CTLCOLORSTATIC to the child) and returns the handler's result.
LRESULT DispatchToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Framework classes, implemented portably over the backend ----

class CDC {
 public:
  explicit CDC(HDC dc) : m_hDC(dc) {}
  HFONT SelectObject(class CFont* font);
  COLORREF SetTextColor(COLORREF color);
  int SetBkMode(int mode);
  BOOL DrawIcon(int x, int y, HICON icon);
  HDC GetSafeHdc() const { return m_hDC; }

  HDC m_hDC;
};

// BeginPaint on construction, EndPaint on destruction.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(class CWnd* window);
  ~CPaintDC();
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;

 private:
  HWND window_;
};

class CFont {
 public:
  CFont() = default;
  ~CFont() { DeleteObject(); }
  CFont(const CFont&) = delete;
  CFont& operator=(const CFont&) = delete;

  BOOL CreateFontIndirect(const LOGFONTA* description);
  BOOL Attach(HFONT font);
  HFONT Detach();
  BOOL DeleteObject();  // deletes the font object held, if any
  HFONT GetSafeHandle() const { return m_hObject; }

  HFONT m_hObject = nullptr;
};

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND GetSafeHwnd() const { return m_hWnd; }
  // Binds this object to a window so that the window's messages reach it.
  BOOL SubclassWindow(HWND window);
  static CWnd* FromHandlePermanent(HWND window);

  void SetWindowText(const char* text);
  void GetWindowText(std::string& text) const;
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  BOOL RedrawWindow(const RECT* update = nullptr, const void* region = nullptr,
                    UINT flags = kRdwInvalidate | kRdwUpdateNow | kRdwErase);
  void InvalidateRect(const RECT* rect, BOOL erase = 1);
  void UpdateWindow();
  UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs,
                    void (*timerProc)(HWND, UINT, UINT_PTR, DWORD) = nullptr);
  BOOL KillTimer(UINT_PTR id);
  BOOL IsIconic() const;
  void GetClientRect(RECT* rect) const;
  HICON SetIcon(HICON icon, BOOL big);

  // Routes one message to the handlers below; override only to extend routing.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  HWND m_hWnd = nullptr;

 protected:
  // The message being handled, for Default().
  struct CurrentMessage {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
  };

  // Passes the message being handled on to the platform's default processing.
  LRESULT Default();

  // Message handlers; each default passes the message on (Default()).
  virtual void OnTimer(UINT_PTR id);
  virtual void OnClose();
  virtual void OnPaint();
  virtual HCURSOR OnQueryDragIcon();
  virtual BOOL OnSetCursor(CWnd* window, UINT hitTest, UINT message);
  virtual void OnLButtonDown(UINT flags, POINT point);
  // Reflected WM_CTLCOLORSTATIC: the brush to paint the background with, or null to let the
  // parent decide.
  virtual HBRUSH CtlColor(CDC* dc, UINT ctlColor);

 private:
  friend LRESULT DispatchToWindow(HWND, UINT, WPARAM, LPARAM);
  CurrentMessage current_;
};

class CStatic : public CWnd {};

class CProgressCtrl : public CWnd {
 public:
  int SetPos(int position);  // PBM_SETPOS
};

class CButton : public CWnd {};

// Data exchange: binds template controls to member objects.
class CDataExchange {
 public:
  explicit CDataExchange(class CDialog* dialog) : m_pDlgWnd(dialog) {}
  class CDialog* m_pDlgWnd;
};
void DDX_Control(CDataExchange* exchange, int controlId, CWnd& control);

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr)
      : templateId_(templateId), parent_(parent) {}

  INT_PTR DoModal();
  BOOL EndDialog(INT_PTR result);

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  virtual BOOL OnInitDialog();  // runs the data exchange
  virtual void DoDataExchange(CDataExchange* exchange);
  virtual void OnOK();      // ends the dialog with kIdOk
  virtual void OnCancel();  // ends the dialog with kIdCancel

 private:
  UINT templateId_;
  CWnd* parent_;
};

class CWinThread {
 public:
  ThreadProc m_pfnThreadProc = nullptr;
  void* m_pThreadParams = nullptr;
};

// Starts a worker thread running proc(parameter); returns its record (owned by the toolkit for
// the life of the process) or null when the thread could not start.
CWinThread* AfxBeginThread(ThreadProc proc, void* parameter, int priority = 0, UINT stackSize = 0,
                           DWORD createFlags = 0, void* security = nullptr);

class CWinApp {
 public:
  explicit CWinApp(const char* appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance() { return 1; }
  virtual int ExitInstance() { return 0; }
  void SetRegistryKey(const char* key) { registryKey_ = key ? key : ""; }
  HICON LoadIcon(UINT resourceId) const;
  const std::string& RegistryKey() const { return registryKey_; }

  CWnd* m_pMainWnd = nullptr;

 private:
  std::string registryKey_;
};

CWinApp* AfxGetApp();
void AfxEnableControlContainer(void* manager = nullptr);
// The framework's start: InitInstance of the application object, then ExitInstance when it
// returns false (no message loop of its own). Returns the process exit code.
int AfxWinMain();

// ---- Graphics and system calls ----
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls);
COLORREF GetSysColor(int index);
HBRUSH CreateSolidBrush(COLORREF color);
BOOL DeleteObject(HGDIOBJ object);
BOOL GetDefaultGuiFont(LOGFONTA* description);  // GetObject(GetStockObject(DEFAULT_GUI_FONT))
int GetSystemMetrics(int index);
HCURSOR SetCursor(HCURSOR cursor);
void ShellOpen(const char* file);

}  // namespace velkor

#pragma pop_macro("InitCommonControlsEx")
#pragma pop_macro("CreateFontIndirect")
#pragma pop_macro("GetObject")
#pragma pop_macro("DrawIcon")
#pragma pop_macro("LoadIcon")
#pragma pop_macro("SendMessage")
#pragma pop_macro("GetWindowText")
#pragma pop_macro("SetWindowText")
