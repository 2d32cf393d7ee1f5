// Terminal state kept in async-signal-safe form, so that a signal handler can restore it too.
#include "platform/linux/terminal_session.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace velkor::terminal {
namespace {

constexpr int kCloseSignals[] = {SIGINT, SIGHUP, SIGTERM, SIGQUIT};
constexpr int kCloseSignalCount = 4;

struct termios savedInput;
std::atomic<bool> rawInputActive{false};
std::atomic<bool> cursorHidden{false};
std::atomic<bool> drawingOpen{false};

std::atomic<int> wakeDescriptor{-1};
// Set while the update must not be cut short: a signal then only ever asks the dialog.
std::atomic<bool> endsHeld{false};
volatile sig_atomic_t pendingSignal = 0;
struct sigaction previousActions[kCloseSignalCount];
struct sigaction previousPipeAction;
bool handlersInstalled = false;

static_assert(std::atomic<bool>::is_always_lock_free, "used from signal handlers");
static_assert(std::atomic<int>::is_always_lock_free, "used from signal handlers");

void WriteAll(int fd, const char* text, std::size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(fd, text, length);
    if (written <= 0) {
      return;
    }
    text += written;
    length -= static_cast<std::size_t>(written);
  }
}

void OnCloseSignal(int signalNumber) {
  if (pendingSignal != 0 && !endsHeld.load()) {
    // The loop did not take the first signal: it is stuck. End without it.
    RestoreTerminalFromSignal();
    ::_exit(128 + signalNumber);
  }
  pendingSignal = signalNumber;
  const int fd = wakeDescriptor.load();
  if (fd >= 0) {
    const char byte = 's';
    [[maybe_unused]] const ssize_t ignored = ::write(fd, &byte, 1);
  }
}

}  // namespace

std::mutex& OutputMutex() {
  static std::mutex mutex;
  return mutex;
}

bool StdinIsForegroundTerminal() {
  return ::isatty(STDIN_FILENO) != 0 && ::tcgetpgrp(STDIN_FILENO) == ::getpgrp();
}

bool EnterRawInput() {
  if (rawInputActive.load() || !StdinIsForegroundTerminal()) {
    return rawInputActive.load();
  }
  struct termios mode;
  if (::tcgetattr(STDIN_FILENO, &mode) != 0) {
    return false;
  }
  savedInput = mode;
  mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  mode.c_cc[VMIN] = 1;
  mode.c_cc[VTIME] = 0;
  if (::tcsetattr(STDIN_FILENO, TCSANOW, &mode) != 0) {
    return false;
  }
  rawInputActive.store(true);
  return true;
}

void NoteCursorHidden(bool hidden) {
  cursorHidden.store(hidden);
}
void NoteDrawingOpen(bool open) {
  drawingOpen.store(open);
}

void RestoreTerminal() {
  std::lock_guard<std::mutex> lock(OutputMutex());
  std::fflush(stdout);
  RestoreTerminalFromSignal();
}

void RestoreTerminalFromSignal() {
  if (drawingOpen.exchange(false)) {
    WriteAll(STDOUT_FILENO, "\n", 1);
  }
  if (cursorHidden.exchange(false)) {
    static const char kShowCursor[] = "\x1b[?25h";
    WriteAll(STDOUT_FILENO, kShowCursor, sizeof kShowCursor - 1);
  }
  if (rawInputActive.exchange(false)) {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &savedInput);
  }
}

void InstallCloseSignals(int wakeFd) {
  wakeDescriptor.store(wakeFd);
  pendingSignal = 0;
  if (handlersInstalled) {
    return;
  }
  struct sigaction action = {};
  action.sa_handler = OnCloseSignal;
  sigemptyset(&action.sa_mask);
  for (int signalNumber : kCloseSignals) {
    sigaddset(&action.sa_mask, signalNumber);  // one handler at a time
  }
  for (int i = 0; i < kCloseSignalCount; ++i) {
    ::sigaction(kCloseSignals[i], &action, &previousActions[i]);
  }
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, &previousPipeAction);
  handlersInstalled = true;
}

void RemoveCloseSignals() {
  if (handlersInstalled) {
    for (int i = 0; i < kCloseSignalCount; ++i) {
      ::sigaction(kCloseSignals[i], &previousActions[i], nullptr);
    }
    ::sigaction(SIGPIPE, &previousPipeAction, nullptr);
    handlersInstalled = false;
  }
  wakeDescriptor.store(-1);
}

void HoldEnds(bool held) {
  endsHeld.store(held);
}

int TakePendingSignal() {
  const int signalNumber = pendingSignal;
  pendingSignal = 0;
  return signalNumber;
}

}  // namespace velkor::terminal
