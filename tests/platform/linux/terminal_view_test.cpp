// The terminal drawing of the dialog: plain lines for pipes, in-place redraws for terminals.
#include "platform/linux/terminal_view.h"

#include <gtest/gtest.h>

namespace velkor {
namespace {

constexpr COLORREF kBlue = 0x00FF0000;
constexpr COLORREF kRedColor = 0x000000FF;

struct Recorder {
  std::string text;
  std::function<void(const std::string&)> sink() {
    return [this](const std::string& s) { text += s; };
  }
  std::string Take() { return std::exchange(text, {}); }
};

DialogViewState State(const std::string& status, COLORREF color, int progress) {
  DialogViewState state;
  state.status = status;
  state.statusColor = color;
  state.statusColorIsDefault = false;
  state.progress = progress;
  return state;
}

TEST(TerminalColors, FollowTheColorrefChannels) {
  EXPECT_EQ(AnsiColorCode(kBlue), "34");
  EXPECT_EQ(AnsiColorCode(kRedColor), "31");
  EXPECT_EQ(AnsiColorCode(0x00000000), "30");
  EXPECT_EQ(AnsiColorCode(0x0000FF00), "32");
  EXPECT_EQ(ColorName(kBlue), "blue");
  EXPECT_EQ(ColorName(kRedColor), "red");
  EXPECT_EQ(ColorName(0x00123456), "#563412");
}

TEST(TerminalViewLines, WriteOneLinePerChangeAndNothingWhenNothingChanged) {
  Recorder out;
  TerminalView view(TerminalView::Mode::kLines, 60, out.sink());
  view.Open("Caption", State("Detect Device!!!", kBlue, 0));
  EXPECT_EQ(out.Take(), "Caption\nstatus: Detect Device!!! [blue]\nprogress: 0%\n");

  view.Update(State("Detect Device!!!", kBlue, 0));
  EXPECT_EQ(out.Take(), "");
  view.Update(State("Detect Device!!!", kBlue, 25));
  EXPECT_EQ(out.Take(), "progress: 25%\n");
  // A colour change alone shows: the window repaints the old text in the new colour.
  view.Update(State("Detect Device!!!", kRedColor, 100));
  EXPECT_EQ(out.Take(), "status: Detect Device!!! [red]\nprogress: 100%\n");

  DialogViewState plain = State("Plain", 0, 100);
  plain.statusColorIsDefault = true;
  view.Update(plain);
  EXPECT_EQ(out.Take(), "status: Plain\n");

  view.PrintAbove("diagnostics: x");
  view.Close();
  EXPECT_EQ(out.Take(), "diagnostics: x\n");
  view.Update(State("after close", kBlue, 0));
  EXPECT_EQ(out.Take(), "");
}

TEST(TerminalViewLines, ClampProgressIntoTheBarsRange) {
  Recorder out;
  TerminalView view(TerminalView::Mode::kLines, 60, out.sink());
  view.Open("C", State("s", kBlue, -5));
  EXPECT_NE(out.Take().find("progress: 0%"), std::string::npos);
  view.Update(State("s", kBlue, 250));
  EXPECT_EQ(out.Take(), "progress: 100%\n");
}

TEST(TerminalViewInPlace, RedrawsTheTwoLinesOverThemselves) {
  Recorder out;
  TerminalView view(TerminalView::Mode::kInPlace, 40, out.sink());
  view.Open("Caption", State("Start", kBlue, 0));
  const std::string opened = out.Take();
  EXPECT_EQ(opened.rfind("Caption\n\x1b[?25l", 0), 0u) << opened;
  EXPECT_NE(opened.find("\x1b[1;34mStart\x1b[0m"), std::string::npos);
  EXPECT_TRUE(view.drawingOpen());

  view.Update(State("Start", kBlue, 0));
  EXPECT_EQ(out.Take(), "");

  view.Update(State("Failed", kRedColor, 100));
  const std::string redraw = out.Take();
  EXPECT_EQ(redraw.rfind("\r\x1b[1A", 0), 0u);
  EXPECT_NE(redraw.find("\x1b[1;31mFailed"), std::string::npos);
  EXPECT_NE(redraw.find("100%"), std::string::npos);
  // Exactly one line break: the cursor ends on the bar's line, where the next redraw expects it.
  EXPECT_EQ(std::count(redraw.begin(), redraw.end(), '\n'), 1);

  view.Close();
  EXPECT_EQ(out.Take(), "\n\x1b[?25h");
  EXPECT_FALSE(view.drawingOpen());
}

TEST(TerminalViewInPlace, CutsALongStatusInsteadOfWrapping) {
  Recorder out;
  TerminalView view(TerminalView::Mode::kInPlace, 20, out.sink());
  view.Open("C", State(std::string(50, 'x'), kBlue, 50));
  const std::string drawn = out.Take();
  EXPECT_NE(drawn.find(std::string(20, 'x') + "\x1b[0m"), std::string::npos);
  EXPECT_EQ(drawn.find(std::string(21, 'x')), std::string::npos);
}

TEST(TerminalViewInPlace, PrintsOtherLinesAboveTheDrawing) {
  Recorder out;
  TerminalView view(TerminalView::Mode::kInPlace, 40, out.sink());
  view.Open("C", State("Busy", kBlue, 50));
  out.Take();
  view.PrintAbove("diagnostics: request failed");
  const std::string printed = out.Take();
  EXPECT_EQ(printed.rfind("\r\x1b[1A\x1b[2Kdiagnostics: request failed\n", 0), 0u) << printed;
  EXPECT_NE(printed.find("Busy"), std::string::npos);
  EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 2);
}

}  // namespace
}  // namespace velkor
