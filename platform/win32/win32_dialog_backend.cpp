// Dialog toolkit backend on plain Win32. The dialog is created by DialogBoxParam from the
// module's template; at WM_INITDIALOG the dialog window and each of its controls are subclassed
// so that the messages the toolkit handles reach DispatchToWindow, and "default processing" is
// the window's original procedure (the dialog manager's, or the control class's own).
// Only the user-interface headers: dshow.h would bring windowsx.h, whose SelectFont and
// SubclassWindow macros collide with the toolkit's method names.
#ifndef NOMINMAX
#define NOMINMAX
#endif
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <process.h>
#include <shellapi.h>
// clang-format on
#undef SelectFont
#undef SubclassWindow

#include <atomic>
#include <functional>
#include <map>
#include <string>

#include "platform/win32/win32_dialog_backend.h"

namespace velkor::win32 {
namespace {

static_assert(sizeof(velkor::RECT) == sizeof(::RECT));
static_assert(sizeof(velkor::LOGFONTA) == sizeof(::LOGFONTA));
static_assert(sizeof(velkor::INITCOMMONCONTROLSEX) == sizeof(::INITCOMMONCONTROLSEX));

// The port's handles are opaque pointers; on this platform they are the Win32 handles.
::HWND Native(velkor::HWND window) {
  return reinterpret_cast<::HWND>(window);
}
velkor::HWND Portable(::HWND window) {
  return reinterpret_cast<velkor::HWND>(window);
}
::HDC Native(velkor::HDC dc) {
  return reinterpret_cast<::HDC>(dc);
}

const wchar_t kOriginalProcProperty[] = L"VelkorOriginalWindowProc";

// The private message that runs a call on the dialog's thread: LPARAM is a std::function.
UINT RunOnDialogThreadMessage() {
  static const UINT message = RegisterWindowMessageW(L"VelkorRunOnDialogThread");
  return message;
}

// Set while the update holds the session's end: a logoff or shutdown is then refused.
std::atomic<bool> sessionEndHeld{false};

WNDPROC OriginalProc(::HWND window) {
  return reinterpret_cast<WNDPROC>(GetPropW(window, kOriginalProcProperty));
}

// The messages the toolkit's classes handle; all others go straight to the original procedure.
bool RoutedToToolkit(UINT message) {
  switch (message) {
    case WM_COMMAND:
    case WM_TIMER:
    case WM_CLOSE:
    case WM_PAINT:
    case WM_QUERYDRAGICON:
    case WM_SETCURSOR:
    case WM_LBUTTONDOWN:
    case WM_CTLCOLORSTATIC:
      return true;
    default:
      return false;
  }
}

// A static control draws with its own font (the dialog's, from WM_SETFONT) and selects it
// after asking its parent for colours, so a font that the colour handler selects into the
// device context would never show. When the handler did select one, it becomes the control's
// font; the control reads its font after the colour request, so this very paint uses it. The
// label that selects the font owns it and keeps it alive while it is selected.
void AdoptSelectedFont(::HDC dc, HGDIOBJ fontBefore, ::HWND control) {
  const HGDIOBJ fontAfter = GetCurrentObject(dc, OBJ_FONT);
  if (control == nullptr || fontAfter == nullptr || fontAfter == fontBefore) {
    return;
  }
  if (reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)) != fontAfter) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fontAfter), FALSE);
  }
}

// The template's progress bar carries bit 0x08, which common controls from version 6 on (and
// Wine's, whatever the manifest) read as PBS_MARQUEE: they then ignore PBM_SETPOS and draw a
// marquee block. The updater drives the bar by positions only, as the classic control shows
// them, so the bit is cleared on the live control.
void ShowPositionsOnProgressBar(::HWND control) {
  wchar_t className[32] = {};
  GetClassNameW(control, className, 32);
  if (lstrcmpiW(className, PROGRESS_CLASSW) != 0) {
    return;
  }
  const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
  if ((style & PBS_MARQUEE) != 0) {
    SetWindowLongPtrW(control, GWL_STYLE, style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
  }
}

// The callbacks take the system's own parameter types: on x86 LPARAM is a long, which the
// portable intptr_t is not, though both have 32 bits.
::LRESULT CALLBACK SubclassProc(::HWND window, ::UINT message, ::WPARAM wParam, ::LPARAM lParam) {
  const WNDPROC original = OriginalProc(window);
  if (message == RunOnDialogThreadMessage()) {
    (*reinterpret_cast<std::function<void()>*>(lParam))();
    return 0;
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    RemovePropW(window, kOriginalProcProperty);
    return CallWindowProcW(original, window, message, wParam, lParam);
  }
  if (message == WM_QUERYENDSESSION && sessionEndHeld.load()) {
    return FALSE;  // the system shows the reason given with ShutdownBlockReasonCreate
  }
  if (!RoutedToToolkit(message)) {
    return CallWindowProcW(original, window, message, wParam, lParam);
  }
  if (message != WM_CTLCOLORSTATIC) {
    return DispatchToWindow(Portable(window), message, wParam, lParam);
  }
  const ::HDC dc = reinterpret_cast<::HDC>(wParam);
  const HGDIOBJ fontBefore = GetCurrentObject(dc, OBJ_FONT);
  const LRESULT brush = DispatchToWindow(Portable(window), message, wParam, lParam);
  AdoptSelectedFont(dc, fontBefore, reinterpret_cast<::HWND>(lParam));
  if (brush == 0) {
    // Nobody chose a brush: the dialog manager's default colours apply.
    return CallWindowProcW(original, window, message, wParam, lParam);
  }
  return brush;
}

void Subclass(::HWND window) {
  if (OriginalProc(window) != nullptr) {
    return;
  }
  const LONG_PTR original = GetWindowLongPtrW(window, GWLP_WNDPROC);
  SetPropW(window, kOriginalProcProperty, reinterpret_cast<HANDLE>(original));
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc));
}

::BOOL CALLBACK PrepareChild(::HWND child, ::LPARAM) {
  ShowPositionsOnProgressBar(child);
  Subclass(child);
  return TRUE;
}

// The dialog procedure proper only answers WM_INITDIALOG; everything else reaches the toolkit
// through the subclass procedure, and FALSE here leaves the rest to the dialog manager.
::INT_PTR CALLBACK DialogProc(::HWND dialog, ::UINT message, ::WPARAM wParam, ::LPARAM lParam) {
  if (message != WM_INITDIALOG) {
    return FALSE;
  }
  Subclass(dialog);
  EnumChildWindows(dialog, &PrepareChild, 0);
  return DispatchToWindow(Portable(dialog), velkor::kWmInitDialog, wParam, lParam);
}

// Runs call() on the thread that owns window and returns its result. From another thread the
// call travels as a SendMessage to the window's top-level ancestor (our subclassed dialog), so
// it completes before this returns; a window that is gone answers the type's zero value.
template <typename Call>
auto OnWindowThread(velkor::HWND window, Call call) -> decltype(call()) {
  const ::HWND native = Native(window);
  const DWORD owner = GetWindowThreadProcessId(native, nullptr);
  const ::HWND root = GetAncestor(native, GA_ROOT);
  if (owner == 0 || owner == GetCurrentThreadId() || root == nullptr ||
      OriginalProc(root) == nullptr) {
    return call();
  }
  decltype(call()) result{};
  std::function<void()> run = [&result, &call] { result = call(); };
  SendMessageW(root, RunOnDialogThreadMessage(), 0, reinterpret_cast<LPARAM>(&run));
  return result;
}

// Paint structures of the paints in progress; painting happens on the dialog's thread only.
thread_local std::map<::HWND, PAINTSTRUCT> paintsInProgress;

struct ThreadStart {
  ThreadProc proc;
  void* parameter;
};

unsigned __stdcall ThreadTrampoline(void* argument) {
  const ThreadStart start = *static_cast<ThreadStart*>(argument);
  delete static_cast<ThreadStart*>(argument);
  return start.proc(start.parameter);
}

}  // namespace

BOOL Win32DialogBackend::InitCommonControls(const velkor::INITCOMMONCONTROLSEX& controls) {
  return ::InitCommonControlsEx(reinterpret_cast<const ::INITCOMMONCONTROLSEX*>(&controls));
}

INT_PTR Win32DialogBackend::RunModalDialog(int templateId, velkor::HWND parent, LPARAM initParam) {
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), Native(parent),
                         &DialogProc, initParam);
}

BOOL Win32DialogBackend::EndModalDialog(velkor::HWND dialog, INT_PTR result) {
  return OnWindowThread(dialog, [&] { return ::EndDialog(Native(dialog), result); });
}

velkor::HWND Win32DialogBackend::DialogItem(velkor::HWND dialog, int controlId) {
  return Portable(GetDlgItem(Native(dialog), controlId));
}

LRESULT Win32DialogBackend::Send(velkor::HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // SendMessage across threads is already served by the window's thread before it returns.
  return SendMessageW(Native(window), message, wParam, lParam);
}

LRESULT Win32DialogBackend::DefaultProcessing(velkor::HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  const ::HWND native = Native(window);
  const WNDPROC original = OriginalProc(native);
  if (original == nullptr) {
    return DefWindowProcW(native, message, wParam, lParam);
  }
  return CallWindowProcW(original, native, message, wParam, lParam);
}

BOOL Win32DialogBackend::SetText(velkor::HWND window, const char* text) {
  return OnWindowThread(window, [&] { return ::SetWindowTextA(Native(window), text); });
}

std::string Win32DialogBackend::Text(velkor::HWND window) {
  return OnWindowThread(window, [&] {
    const int length = GetWindowTextLengthA(Native(window));
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(Native(window), text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
  });
}

BOOL Win32DialogBackend::Redraw(velkor::HWND window, const velkor::RECT* update, UINT flags) {
  return OnWindowThread(window, [&] {
    return ::RedrawWindow(Native(window), reinterpret_cast<const ::RECT*>(update), nullptr, flags);
  });
}

BOOL Win32DialogBackend::Invalidate(velkor::HWND window, const velkor::RECT* rect, BOOL erase) {
  return OnWindowThread(window, [&] {
    return ::InvalidateRect(Native(window), reinterpret_cast<const ::RECT*>(rect), erase);
  });
}

BOOL Win32DialogBackend::UpdateNow(velkor::HWND window) {
  return OnWindowThread(window, [&] { return ::UpdateWindow(Native(window)); });
}

UINT_PTR Win32DialogBackend::StartTimer(velkor::HWND window, UINT_PTR id, UINT periodMs) {
  return OnWindowThread(window, [&] { return ::SetTimer(Native(window), id, periodMs, nullptr); });
}

BOOL Win32DialogBackend::StopTimer(velkor::HWND window, UINT_PTR id) {
  return OnWindowThread(window, [&] { return ::KillTimer(Native(window), id); });
}

BOOL Win32DialogBackend::Minimised(velkor::HWND window) {
  return ::IsIconic(Native(window));
}

BOOL Win32DialogBackend::ClientRect(velkor::HWND window, velkor::RECT* rect) {
  return ::GetClientRect(Native(window), reinterpret_cast<::RECT*>(rect));
}

velkor::HDC Win32DialogBackend::BeginPainting(velkor::HWND window) {
  PAINTSTRUCT paint{};
  const ::HDC dc = ::BeginPaint(Native(window), &paint);
  if (dc != nullptr) {
    paintsInProgress[Native(window)] = paint;
  }
  return reinterpret_cast<velkor::HDC>(dc);
}

void Win32DialogBackend::EndPainting(velkor::HWND window, velkor::HDC) {
  const auto paint = paintsInProgress.find(Native(window));
  if (paint != paintsInProgress.end()) {
    ::EndPaint(Native(window), &paint->second);
    paintsInProgress.erase(paint);
  }
}

velkor::HFONT Win32DialogBackend::SelectFont(velkor::HDC dc, velkor::HFONT font) {
  return reinterpret_cast<velkor::HFONT>(
      ::SelectObject(Native(dc), reinterpret_cast<HGDIOBJ>(font)));
}

COLORREF Win32DialogBackend::SetDcTextColor(velkor::HDC dc, COLORREF color) {
  return ::SetTextColor(Native(dc), color);
}

int Win32DialogBackend::SetDcBackgroundMode(velkor::HDC dc, int mode) {
  return ::SetBkMode(Native(dc), mode);
}

BOOL Win32DialogBackend::PaintIcon(velkor::HDC dc, int x, int y, velkor::HICON icon) {
  return ::DrawIcon(Native(dc), x, y, reinterpret_cast<::HICON>(icon));
}

COLORREF Win32DialogBackend::SystemColor(int index) {
  return ::GetSysColor(index);
}

velkor::HBRUSH Win32DialogBackend::NewSolidBrush(COLORREF color) {
  return reinterpret_cast<velkor::HBRUSH>(::CreateSolidBrush(color));
}

velkor::HFONT Win32DialogBackend::NewFont(const velkor::LOGFONTA& description) {
  return reinterpret_cast<velkor::HFONT>(
      ::CreateFontIndirectA(reinterpret_cast<const ::LOGFONTA*>(&description)));
}

BOOL Win32DialogBackend::DeleteGraphicsObject(velkor::HGDIOBJ object) {
  return object != nullptr && ::DeleteObject(static_cast<::HGDIOBJ>(object));
}

BOOL Win32DialogBackend::DefaultGuiFont(velkor::LOGFONTA* description) {
  return ::GetObjectA(::GetStockObject(DEFAULT_GUI_FONT), sizeof(::LOGFONTA), description) != 0;
}

int Win32DialogBackend::SystemMetric(int index) {
  return ::GetSystemMetrics(index);
}

velkor::HICON Win32DialogBackend::LoadAppIcon(int resourceId) {
  return reinterpret_cast<velkor::HICON>(
      ::LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId)));
}

velkor::HCURSOR Win32DialogBackend::ChangeCursor(velkor::HCURSOR cursor) {
  return reinterpret_cast<velkor::HCURSOR>(::SetCursor(reinterpret_cast<::HCURSOR>(cursor)));
}

void Win32DialogBackend::ShellOpen(const char* file) {
  ::ShellExecuteA(nullptr, "open", file, nullptr, nullptr, SW_SHOWNORMAL);
}

void Win32DialogBackend::HoldSessionEnd(velkor::HWND dialog, const char* reason) {
  sessionEndHeld.store(true);
  if (dialog == nullptr) {
    return;
  }
  std::wstring wide;
  for (const char* c = reason; c != nullptr && *c != '\0'; ++c) {
    wide.push_back(static_cast<unsigned char>(*c));
  }
  // Both calls belong to the thread that owns the window. The system menu's Close is greyed
  // out as well; Alt+F4 and the close button still arrive as WM_CLOSE, which the dialog holds.
  OnWindowThread(dialog, [&] {
    const ::HWND native = Native(dialog);
    ShutdownBlockReasonCreate(native, wide.c_str());
    EnableMenuItem(GetSystemMenu(native, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    return TRUE;
  });
}

void Win32DialogBackend::ReleaseSessionEnd(velkor::HWND dialog) {
  sessionEndHeld.store(false);
  if (dialog == nullptr) {
    return;
  }
  OnWindowThread(dialog, [&] {
    const ::HWND native = Native(dialog);
    ShutdownBlockReasonDestroy(native);
    EnableMenuItem(GetSystemMenu(native, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_ENABLED);
    return TRUE;
  });
}

bool Win32DialogBackend::StartThread(ThreadProc proc, void* parameter) {
  auto* start = new ThreadStart{proc, parameter};
  const std::uintptr_t thread = _beginthreadex(nullptr, 0, &ThreadTrampoline, start, 0, nullptr);
  if (thread == 0) {
    delete start;
    return false;
  }
  // The worker runs detached; nobody joins it.
  CloseHandle(reinterpret_cast<HANDLE>(thread));
  return true;
}

}  // namespace velkor::win32
