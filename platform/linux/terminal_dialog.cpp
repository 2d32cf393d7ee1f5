// Terminal dialog on the process's own stdin and stdout.
#include "platform/linux/terminal_dialog.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/linux/terminal_session.h"

namespace velkor {
namespace {

// A wider bar gains nothing and a narrow terminal must not wrap the drawing.
constexpr int kWidestDrawing = 64;

int TerminalColumns() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
    return std::min(static_cast<int>(size.ws_col) - 1, kWidestDrawing);
  }
  return kWidestDrawing;
}

// Once the terminal is gone (a hang-up: writes fail with EIO) or the pipe's reader left (EPIPE,
// with SIGPIPE ignored), the dialog goes on without drawing: the update must not stop for it.
bool outputLost = false;

void WriteStdout(const std::string& text) {
  if (outputLost) {
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    outputLost = errno == EIO || errno == EPIPE || errno == ENXIO;
    std::clearerr(stdout);
  }
}

}  // namespace

TerminalDialog::TerminalDialog()
    : drawsInPlace_(::isatty(STDOUT_FILENO) != 0),
      keyboard_(terminal::StdinIsForegroundTerminal()),
      view_(drawsInPlace_ ? TerminalView::Mode::kInPlace : TerminalView::Mode::kLines,
            TerminalColumns(), WriteStdout),
      backend_(view_, keyboard_ ? STDIN_FILENO : -1, keyboard_) {}

}  // namespace velkor
