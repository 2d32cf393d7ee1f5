// How the dialog looks on a terminal: the caption, the status line in its colour and a progress
// bar, either redrawn in place (a terminal) or as one plain line per change (a pipe or a file).
#pragma once

#include <functional>
#include <string>

#include "platform/dialog_toolkit.h"

namespace velkor {

struct DialogViewState {
  std::string status;
  COLORREF statusColor = 0;
  bool statusColorIsDefault = true;  // the system's window-text colour: the terminal's own
  int progress = 0;                  // 0..100
};

class TerminalView {
 public:
  enum class Mode { kInPlace, kLines };

  // write receives the bytes to put on the terminal; width is the number of columns to use.
  TerminalView(Mode mode, int width, std::function<void(const std::string&)> write);

  // The dialog came up: the caption, then the first state.
  void Open(const std::string& caption, const DialogViewState& state);
  // The state after a change; in line mode only what changed is written.
  void Update(const DialogViewState& state);
  // A line of other output (diagnostics) shown above an in-place drawing.
  void PrintAbove(const std::string& line);
  // The dialog is gone: an in-place drawing is ended with a newline and the cursor shown again.
  void Close();

  // An in-place drawing is on screen: the cursor is hidden and sits at the drawing's end.
  bool drawingOpen() const { return open_ && mode_ == Mode::kInPlace; }

 private:
  std::string StatusLine(const DialogViewState& state) const;
  std::string ProgressLine(int progress) const;
  void DrawBlock(const DialogViewState& state);

  Mode mode_;
  int width_;
  std::function<void(const std::string&)> write_;
  bool open_ = false;
  DialogViewState last_;
};

// The ANSI select-graphic-rendition parameters for a COLORREF (0x00BBGGRR): each channel at
// half strength or more counts as on, so pure blue gives 34 and pure red 31.
std::string AnsiColorCode(COLORREF color);
// A name for line mode: "blue", "red", ..., or "#RRGGBB" for anything else.
std::string ColorName(COLORREF color);

}  // namespace velkor
