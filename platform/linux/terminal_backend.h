// The dialog toolkit's backend for a terminal: the dialog's windows live in memory, the status
// line and progress bar are drawn through a TerminalView, Enter and Escape act as the hidden OK
// and Cancel buttons, and SIGINT, SIGHUP, SIGTERM and SIGQUIT close the dialog as the close
// button does.
// Calls from worker threads are served by the thread that runs the dialog, before they return.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/dialog_toolkit.h"
#include "platform/linux/terminal_view.h"

namespace velkor {

class TerminalBackend : public DialogBackend {
 public:
  // keyFd: where keys are read from (-1: no keyboard). rawKeys: keyFd is a terminal to switch
  // to raw input while the dialog runs (restored when it ends).
  TerminalBackend(TerminalView& view, int keyFd, bool rawKeys);
  ~TerminalBackend() override;
  TerminalBackend(const TerminalBackend&) = delete;
  TerminalBackend& operator=(const TerminalBackend&) = delete;

  // A line of other output (diagnostics), from any thread, kept clear of the drawing.
  void PrintAbove(const std::string& line);

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
  void HoldSessionEnd(HWND dialog, const char* reason) override;
  void ReleaseSessionEnd(HWND dialog) override;

 private:
  using SteadyTime = std::chrono::steady_clock::time_point;

  struct Window {
    int id = 0;
    std::string className;
    std::string text;
    Window* parent = nullptr;
    bool alive = true;
    int position = 0;  // progress bars
    LPARAM icons[2] = {0, 0};
  };
  struct Timer {
    Window* window;
    UINT_PTR id;
    UINT periodMs;
    SteadyTime due;
  };
  struct DeviceContext {
    COLORREF textColor;
    int backgroundMode;
    HFONT font;
  };
  struct Request {
    std::function<void()> work;
    bool done = false;
  };

  static Window* FromHandle(HWND window) { return reinterpret_cast<Window*>(window); }
  static HWND ToHandle(Window* window) { return reinterpret_cast<HWND>(window); }

  // Runs work on the dialog's thread: at once when called there (or before any dialog ran),
  // otherwise queued for the loop and waited for. False when the dialog ended first.
  bool OnDialogThread(const std::function<void()>& work);
  bool Alive(HWND window) const;

  INT_PTR Loop();
  void ServeRequests();
  bool FireOneDueTimer();
  void ReadKeys();
  int MillisecondsToNextTimer() const;
  void EndLoop();

  // Drawing, on the dialog's thread.
  Window* FindControl(const char* className) const;
  DialogViewState CurrentState();
  void Render();

  TerminalView& view_;
  int keyFd_;
  bool rawKeys_;

  // Shared with workers.
  std::mutex mutex_;
  std::condition_variable served_;
  std::deque<std::shared_ptr<Request>> requests_;
  bool loopRunning_ = false;
  bool dialogClosed_ = false;  // a dialog ran and has ended: its windows are gone
  std::thread::id dialogThread_;
  int wakePipe_[2] = {-1, -1};

  // The dialog's thread only.
  std::deque<Window> windows_;
  Window* dialog_ = nullptr;
  std::vector<Timer> timers_;
  bool modalEnded_ = false;
  INT_PTR modalResult_ = 0;
  bool shown_ = false;
  bool dirty_ = false;

  // Graphics objects, from any thread.
  struct GraphicsObject {
    bool isFont;
    COLORREF color;
    LOGFONTA font;
  };
  std::mutex graphicsMutex_;
  std::map<HGDIOBJ, std::unique_ptr<GraphicsObject>> graphics_;
  std::map<HDC, std::unique_ptr<DeviceContext>> paintContexts_;
  HCURSOR cursor_ = nullptr;
};

}  // namespace velkor
