// Drawing the dialog's state as terminal text.
#include "platform/linux/terminal_view.h"

#include <algorithm>
#include <cstdio>

namespace velkor {
namespace {

constexpr const char* kClearLine = "\x1b[2K";
constexpr const char* kResetAttributes = "\x1b[0m";
constexpr const char* kHideCursor = "\x1b[?25l";
constexpr const char* kShowCursor = "\x1b[?25h";
constexpr int kPercentColumns = 5;  // " 100%"

int Clamp(int value, int low, int high) {
  return std::max(low, std::min(value, high));
}

int ColorIndex(COLORREF color) {
  const int red = (color & 0xFF) >= 0x80 ? 1 : 0;
  const int green = ((color >> 8) & 0xFF) >= 0x80 ? 1 : 0;
  const int blue = ((color >> 16) & 0xFF) >= 0x80 ? 1 : 0;
  return red | (green << 1) | (blue << 2);
}

}  // namespace

std::string AnsiColorCode(COLORREF color) {
  return std::to_string(30 + ColorIndex(color));
}

std::string ColorName(COLORREF color) {
  switch (color & 0x00FFFFFF) {
    case 0x00FF0000:
      return "blue";
    case 0x000000FF:
      return "red";
    case 0x0000FF00:
      return "green";
    case 0x00000000:
      return "black";
    default: {
      char text[8];
      std::snprintf(text, sizeof text, "#%02X%02X%02X", color & 0xFF, (color >> 8) & 0xFF,
                    (color >> 16) & 0xFF);
      return text;
    }
  }
}

TerminalView::TerminalView(Mode mode, int width, std::function<void(const std::string&)> write)
    : mode_(mode), width_(std::max(width, 20)), write_(std::move(write)) {}

void TerminalView::Open(const std::string& caption, const DialogViewState& state) {
  write_(caption + "\n");
  open_ = true;
  if (mode_ == Mode::kInPlace) {
    write_(kHideCursor);
    DrawBlock(state);
  } else {
    write_(StatusLine(state) + "\n" + ProgressLine(state.progress) + "\n");
  }
  last_ = state;
}

void TerminalView::Update(const DialogViewState& state) {
  if (!open_) {
    return;
  }
  const bool statusChanged = state.status != last_.status ||
                             state.statusColor != last_.statusColor ||
                             state.statusColorIsDefault != last_.statusColorIsDefault;
  const bool progressChanged = state.progress != last_.progress;
  if (mode_ == Mode::kInPlace) {
    if (statusChanged || progressChanged) {
      // Back to the start of the status line, then both lines again.
      write_("\r\x1b[1A");
      DrawBlock(state);
    }
  } else {
    std::string lines;
    if (statusChanged) {
      lines += StatusLine(state) + "\n";
    }
    if (progressChanged) {
      lines += ProgressLine(state.progress) + "\n";
    }
    if (!lines.empty()) {
      write_(lines);
    }
  }
  last_ = state;
}

void TerminalView::PrintAbove(const std::string& line) {
  if (!drawingOpen()) {
    write_(line + "\n");
    return;
  }
  // Replace the status line with the text, then draw the block again below it.
  write_(std::string("\r\x1b[1A") + kClearLine + line + "\n");
  DrawBlock(last_);
}

void TerminalView::Close() {
  if (drawingOpen()) {
    write_(std::string("\n") + kShowCursor);
  }
  open_ = false;
}

std::string TerminalView::StatusLine(const DialogViewState& state) const {
  if (mode_ == Mode::kLines) {
    return "status: " + state.status +
           (state.statusColorIsDefault ? "" : " [" + ColorName(state.statusColor) + "]");
  }
  // Centred like the label; cut rather than wrapped, so that the block keeps its two lines.
  std::string text = state.status.substr(0, static_cast<std::size_t>(width_));
  const int padding = (width_ - static_cast<int>(text.size())) / 2;
  const std::string color = state.statusColorIsDefault ? "39" : AnsiColorCode(state.statusColor);
  return std::string(static_cast<std::size_t>(padding), ' ') + "\x1b[1;" + color + "m" + text +
         kResetAttributes;
}

std::string TerminalView::ProgressLine(int progress) const {
  const int position = Clamp(progress, 0, 100);
  if (mode_ == Mode::kLines) {
    return "progress: " + std::to_string(position) + "%";
  }
  const int cells = width_ - 2 - kPercentColumns;
  const int filled = cells * position / 100;
  char percent[8];
  std::snprintf(percent, sizeof percent, " %3d%%", position);
  return "[" + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(cells - filled), '-') + "]" + percent;
}

void TerminalView::DrawBlock(const DialogViewState& state) {
  write_(std::string("\r") + kClearLine + StatusLine(state) + "\n" + kClearLine +
         ProgressLine(state.progress));
}

}  // namespace velkor
