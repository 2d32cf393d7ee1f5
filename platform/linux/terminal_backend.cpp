// TerminalBackend: the dialog's modal loop (keys, signals, timers, worker calls), the creation
// and end of its windows, and its worker threads.
#include "platform/linux/terminal_backend.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/dialog_template.h"
#include "platform/linux/terminal_session.h"

namespace velkor {
namespace {
constexpr char kEscape = 0x1b;
}  // namespace

TerminalBackend::TerminalBackend(TerminalView& view, int keyFd, bool rawKeys)
    : view_(view), keyFd_(keyFd), rawKeys_(rawKeys) {}

TerminalBackend::~TerminalBackend() = default;

void TerminalBackend::PrintAbove(const std::string& line) {
  std::lock_guard<std::mutex> lock(terminal::OutputMutex());
  view_.PrintAbove(line);
}

BOOL TerminalBackend::InitCommonControls(const INITCOMMONCONTROLSEX& /*controls*/) {
  return 1;
}

bool TerminalBackend::OnDialogThread(const std::function<void()>& work) {
  std::unique_lock<std::mutex> lock(mutex_);
  const bool onDialogThread = std::this_thread::get_id() == dialogThread_;
  if (onDialogThread || (!loopRunning_ && !dialogClosed_)) {
    lock.unlock();
    work();
    return true;
  }
  if (!loopRunning_) {
    return false;  // the windows are gone, as a message to a destroyed window does nothing
  }
  auto request = std::make_shared<Request>();
  request->work = work;
  requests_.push_back(request);
  const char byte = 'r';
  [[maybe_unused]] const ssize_t ignored = ::write(wakePipe_[1], &byte, 1);
  served_.wait(lock, [&] { return request->done || !loopRunning_; });
  return request->done;
}

bool TerminalBackend::Alive(HWND window) const {
  return window != nullptr && FromHandle(window)->alive;
}

INT_PTR TerminalBackend::RunModalDialog(int templateId, HWND parent, LPARAM initParam) {
  const DialogTemplate* dialogTemplate = FindDialogTemplate(templateId);
  if (dialogTemplate == nullptr) {
    return -1;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (loopRunning_) {
      return -1;  // one modal dialog at a time
    }
    if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
      return -1;
    }
    dialogThread_ = std::this_thread::get_id();
    loopRunning_ = true;
    dialogClosed_ = false;
  }
  windows_.clear();
  windows_.push_back({0, "dialog", dialogTemplate->caption, FromHandle(parent)});
  dialog_ = &windows_.back();
  for (int i = 0; i < dialogTemplate->controlCount; ++i) {
    const DialogControlTemplate& control = dialogTemplate->controls[i];
    windows_.push_back({control.id, control.className, control.text, dialog_});
  }
  timers_.clear();
  modalEnded_ = false;
  modalResult_ = 0;
  shown_ = false;
  // Handlers first: a Ctrl-C between the two must not leave the terminal without echo.
  terminal::InstallCloseSignals(wakePipe_[1]);
  if (rawKeys_) {
    terminal::EnterRawInput();
  }

  // Created hidden, initialised, then shown: the template's placeholder texts are never drawn.
  DispatchToWindow(ToHandle(dialog_), kWmInitDialog, 0, initParam);
  if (!modalEnded_) {
    const DialogViewState state = CurrentState();
    std::lock_guard<std::mutex> lock(terminal::OutputMutex());
    view_.Open(dialog_->text, state);
    terminal::NoteCursorHidden(view_.drawingOpen());
    terminal::NoteDrawingOpen(view_.drawingOpen());
    shown_ = true;
  }
  const INT_PTR result = Loop();
  EndLoop();
  return result;
}

INT_PTR TerminalBackend::Loop() {
  while (!modalEnded_) {
    if (terminal::TakePendingSignal() != 0) {
      // Ctrl-C, a termination request or the terminal going away: the same as the window's
      // close button, which the dialog holds while the flash is being changed.
      DispatchToWindow(ToHandle(dialog_), kWmClose, 0, 0);
      continue;
    }
    ServeRequests();
    if (modalEnded_ || FireOneDueTimer()) {
      continue;
    }
    if (dirty_) {
      Render();
    }
    pollfd fds[2] = {{wakePipe_[0], POLLIN, 0}, {keyFd_, POLLIN, 0}};
    const nfds_t count = keyFd_ >= 0 ? 2 : 1;
    const int ready = ::poll(fds, count, MillisecondsToNextTimer());
    if (ready <= 0) {
      continue;  // a timer is due, or a signal interrupted the wait
    }
    if ((fds[0].revents & POLLIN) != 0) {
      char drain[64];
      while (::read(wakePipe_[0], drain, sizeof drain) > 0) {
      }
    }
    if (count == 2 && fds[1].revents != 0) {
      ReadKeys();
    }
  }
  return modalResult_;
}

void TerminalBackend::ServeRequests() {
  for (;;) {
    std::shared_ptr<Request> request;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (requests_.empty()) {
        return;
      }
      request = requests_.front();
      requests_.pop_front();
    }
    request->work();
    std::lock_guard<std::mutex> lock(mutex_);
    request->done = true;
    served_.notify_all();
  }
}

bool TerminalBackend::FireOneDueTimer() {
  const SteadyTime now = std::chrono::steady_clock::now();
  for (Timer& timer : timers_) {
    if (timer.due <= now) {
      timer.due = now + std::chrono::milliseconds(timer.periodMs);
      // The handler may start or stop timers: nothing of timers_ is used after this call.
      DispatchToWindow(ToHandle(timer.window), kWmTimer, timer.id, 0);
      return true;
    }
  }
  return false;
}

int TerminalBackend::MillisecondsToNextTimer() const {
  if (timers_.empty()) {
    return -1;
  }
  SteadyTime next = timers_.front().due;
  for (const Timer& timer : timers_) {
    next = std::min(next, timer.due);
  }
  const auto wait =
      std::chrono::ceil<std::chrono::milliseconds>(next - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<std::int64_t>(wait.count(), 0));
}

void TerminalBackend::ReadKeys() {
  char keys[64];
  const ssize_t count = ::read(keyFd_, keys, sizeof keys);
  if (count <= 0) {
    if (count == 0 || (errno != EAGAIN && errno != EINTR)) {
      keyFd_ = -1;  // the keyboard is gone; signals still close the dialog
    }
    return;
  }
  for (ssize_t i = 0; i < count && !modalEnded_; ++i) {
    if (keys[i] == '\r' || keys[i] == '\n') {
      // As the dialog manager does: Enter is the default button, the hidden OK.
      DispatchToWindow(ToHandle(dialog_), kWmCommand, kIdOk, 0);
    } else if (keys[i] == kEscape) {
      if (i + 1 < count && (keys[i + 1] == '[' || keys[i + 1] == 'O')) {
        // A cursor or function key's sequence, not Escape: skip it to its final byte.
        i += 2;
        while (i < count && (keys[i] < 0x40 || keys[i] > 0x7E)) {
          ++i;
        }
        continue;
      }
      DispatchToWindow(ToHandle(dialog_), kWmCommand, kIdCancel, 0);
    }
  }
}

void TerminalBackend::EndLoop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    loopRunning_ = false;
    dialogClosed_ = true;
    requests_.clear();
    served_.notify_all();
  }
  for (Window& window : windows_) {
    window.alive = false;
  }
  timers_.clear();
  {
    std::lock_guard<std::mutex> lock(terminal::OutputMutex());
    view_.Close();
    terminal::NoteDrawingOpen(false);
    terminal::NoteCursorHidden(false);
  }
  terminal::RemoveCloseSignals();
  terminal::RestoreTerminal();
  ::close(wakePipe_[0]);
  ::close(wakePipe_[1]);
  wakePipe_[0] = wakePipe_[1] = -1;
}

void TerminalBackend::HoldSessionEnd(HWND /*dialog*/, const char* /*reason*/) {
  terminal::HoldEnds(true);
}

void TerminalBackend::ReleaseSessionEnd(HWND /*dialog*/) {
  terminal::HoldEnds(false);
}

bool TerminalBackend::StartThread(ThreadProc proc, void* parameter) {
  // The close signals are the dialog thread's to take: a worker inherits them blocked, so a
  // handler never runs on it (and never races the dialog thread over the wake pipe).
  sigset_t closeSignals;
  sigset_t previous;
  sigemptyset(&closeSignals);
  for (int signal : {SIGINT, SIGHUP, SIGTERM, SIGQUIT}) {
    sigaddset(&closeSignals, signal);
  }
  pthread_sigmask(SIG_BLOCK, &closeSignals, &previous);
  bool started = true;
  try {
    std::thread(proc, parameter).detach();
  } catch (const std::system_error&) {
    started = false;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return started;
}

}  // namespace velkor
