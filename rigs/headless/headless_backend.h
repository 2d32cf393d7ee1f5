// A dialog backend without a screen, for tests: it keeps the windows of a dialog template in
// memory, records what the application shows (texts with the colour they were painted in,
// progress positions, timers, redraws, inputs), runs timers on any Clock (advancing a virtual
// one when nothing else can happen), lets a test inject Enter, Escape or a window close at a
// chosen moment, and serves calls from worker threads on the dialog's thread.
//
// It also supplies the Process and Clock ports of a test run. Exit(code) records the code and
// unwinds the calling thread with ProcessExited; the backend catches it at the top of the main
// thread (RunProcess) and of each worker thread. Once the process has ended, any further
// toolkit call or sleep of a worker unwinds it too, and the main thread waits for the workers
// to finish before it unwinds, so that nothing runs after the end and no worker outlives the
// objects it uses.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/dialog_toolkit.h"
#include "platform/process.h"

namespace velkor {

// Thrown by the headless Process's Exit to unwind the calling thread; never caught by the
// code under test.
struct ProcessExited {
  int code;
};

enum class HeadlessInput { kEnter, kEscape, kClose };

// When an injected input is delivered.
struct HeadlessTrigger {
  enum class Kind { kAtTimeMs, kAfterTick, kOnText, kWhenIdle };
  Kind kind;
  std::uint64_t value = 0;  // time in ms, or tick count
  std::string text;         // for kOnText

  // Once the clock reads at least this time.
  static HeadlessTrigger AtTimeMs(std::uint64_t ms) { return {Kind::kAtTimeMs, ms, {}}; }
  // Right after the n-th timer tick has been handled.
  static HeadlessTrigger AfterTick(std::uint64_t n) { return {Kind::kAfterTick, n, {}}; }
  // As soon as a window shows this text; a worker that set it waits until the input is handled.
  static HeadlessTrigger OnText(std::string text) { return {Kind::kOnText, 0, std::move(text)}; }
  // When nothing else can happen any more (no timer, no worker).
  static HeadlessTrigger WhenIdle() { return {Kind::kWhenIdle, 0, {}}; }
};

struct HeadlessEvent {
  enum class Kind {
    kWindowShown,     // the dialog came up (after its initialisation)
    kText,            // text: the window text; color: text colour of the paint that followed
    kRedraw,          // value: RedrawWindow flags; color: text colour when it painted at once
    kPaint,           // a control painted itself; color, value: background mode
    kProgress,        // value: position
    kTimerStarted,    // value: timer id; extra: period in ms
    kTimerStopped,    // value: timer id
    kTimerTick,       // value: timer id; extra: tick number
    kInput,           // value: HeadlessInput
    kDialogEnded,     // value: dialog result
    kIconSet,         // value: 1 big, 0 small
    kIconPainted,     // value: x; extra: y
    kShellOpen,       // text: the file
    kStalled,         // nothing could happen any more: the dialog was ended with -1
    kSessionEndHeld,  // text: the reason given for the system to show
    kSessionEndReleased,
  };
  explicit HeadlessEvent(Kind kind, int controlId = 0, std::string text = {})
      : kind(kind), controlId(controlId), text(std::move(text)) {}

  Kind kind;
  int controlId = 0;  // 0: the dialog itself
  std::string text;
  COLORREF color = 0;
  std::int64_t value = 0;
  std::int64_t extra = 0;
  std::uint64_t atMs = 0;
  bool fromWorker = false;  // the call came from a worker thread
};

class HeadlessBackend : public DialogBackend {
 public:
  explicit HeadlessBackend(Clock& clock);
  ~HeadlessBackend() override;

  // The Process and Clock to install as ports for a run on this backend.
  Process& process() { return process_; }
  Clock& clock() { return clock_; }

  // Runs entry as the program's main thread. Returns the code given to Exit, or entry's own
  // result when it returns (the process then ends as if by that return).
  int RunProcess(const std::function<int()>& entry);
  bool ExitCalled() const;  // Process::Exit ended the run (not a return from entry)

  void Inject(HeadlessInput input, HeadlessTrigger trigger);

  // Set-up of what the window reports.
  void SetMinimised(bool minimised);
  void SetClientSize(int width, int height);
  void SetIconMetrics(int width, int height);
  void SetIconAvailable(bool available);

  // Recordings; safe to call at any time.
  std::vector<HeadlessEvent> Events() const;
  std::vector<HeadlessEvent> EventsOf(HeadlessEvent::Kind kind) const;
  std::string CurrentText(int controlId) const;  // of the live or last dialog
  int LiveGraphicsObjects() const;               // brushes and fonts created and not deleted
  int FailedDeletes() const;                     // deletes of unknown or deleted objects
  COLORREF BrushColor(HBRUSH brush) const;
  LOGFONTA FontDescription(HFONT font) const;
  struct DcState {
    COLORREF textColor = 0;
    int backgroundMode = kBkModeOpaque;
    HFONT font = nullptr;
  };
  // A device context for tests that call CtlColor directly, and what was done to one.
  HDC NewDeviceContext();
  DcState DeviceContext(HDC dc) const;

  // DialogBackend
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
  bool SessionEndHeld() const;  // as a logoff would find it now

 private:
  class ExitingProcess : public Process {
   public:
    explicit ExitingProcess(HeadlessBackend& backend) : backend_(backend) {}
    [[noreturn]] void Exit(int code) override;

   private:
    HeadlessBackend& backend_;
  };
  class ExitAwareClock : public Clock {
   public:
    ExitAwareClock(HeadlessBackend& backend, Clock& inner) : backend_(backend), inner_(inner) {}
    void SleepMs(std::uint32_t milliseconds) override;
    std::uint64_t NowMs() override { return inner_.NowMs(); }

   private:
    HeadlessBackend& backend_;
    Clock& inner_;
  };

  struct Window {
    int controlId = 0;
    std::string className;
    std::string text;
    HWND parent = nullptr;
    bool alive = true;
    bool invalid = false;
    int progress = 0;
    HICON icons[2] = {nullptr, nullptr};
  };
  struct Timer {
    HWND window;
    UINT_PTR id;
    UINT periodMs;
    std::uint64_t dueMs;
  };
  struct Injection {
    HeadlessInput input;
    HeadlessTrigger trigger;
    bool armed = false;
    bool delivered = false;
  };
  struct Request {
    std::function<void()> work;
    bool running = false;
    bool done = false;
  };
  struct GraphicsObject {
    bool isFont = false;
    COLORREF color = 0;
    LOGFONTA font{};
    bool deleted = false;
  };

  [[noreturn]] void EndProcess(int code);
  // Unwinds the calling thread when the process has ended (a main thread first waits for the
  // workers). Does nothing while an exception is already unwinding the thread.
  void UnwindIfEnded();
  void UnwindWorkerIfEnded();
  void WaitForWorkers();
  // Runs work on the dialog's thread: at once when called there (or when no dialog loop runs),
  // otherwise queued for the loop and waited for.
  void OnDialogThread(const std::function<void()>& work);
  INT_PTR RunLoop();
  void DeliverArmedInputs();
  void Deliver(HeadlessInput input);
  void CloseDialogWindows();
  COLORREF PaintControl(HWND window);

  // All private helpers below expect mutex_ held.
  Window* FindWindowLocked(HWND window);
  const Window* FindWindowLocked(HWND window) const;
  HWND CreateWindowLocked(int controlId, const char* className, const char* text, HWND parent);
  void RecordLocked(HeadlessEvent event);
  Injection* NextDueInjectionLocked(bool idle);
  // Delivers the next due injection with the lock released meanwhile; false when none is due.
  bool DeliverDueInjection(std::unique_lock<std::mutex>& lock, bool idle);
  bool NextWakeLocked(std::uint64_t* wakeMs) const;
  static bool IsWorkerThread();

  ExitingProcess process_;
  ExitAwareClock clock_;
  Clock& inner_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool ended_ = false;
  bool exitCalled_ = false;
  int exitCode_ = 0;
  int liveWorkers_ = 0;
  std::vector<std::thread> workers_;

  std::vector<Window> windows_;
  HWND dialog_ = nullptr;
  bool loopRunning_ = false;
  bool modalEnded_ = false;
  INT_PTR modalResult_ = 0;
  std::vector<Timer> timers_;
  std::uint64_t ticks_ = 0;
  std::deque<std::shared_ptr<Request>> requests_;
  std::shared_ptr<Request> serving_;  // the request the dialog thread is running
  std::vector<Injection> injections_;
  std::vector<HeadlessEvent> events_;

  std::map<std::uintptr_t, GraphicsObject> graphics_;
  std::map<std::uintptr_t, DcState> deviceContexts_;
  std::uintptr_t nextHandle_ = 0x1000;
  int failedDeletes_ = 0;
  bool minimised_ = false;
  RECT client_ = {0, 0, 638, 90};
  int iconWidth_ = 32;
  int iconHeight_ = 32;
  bool iconAvailable_ = true;
  HCURSOR cursor_ = nullptr;
  bool sessionEndHeld_ = false;
};

}  // namespace velkor
