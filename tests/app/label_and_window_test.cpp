// The status label's colours, font and brushes, its handlers once bound to the template's
// static control, and the main window's minimised painting.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "app/label.h"
#include "app/velkor_dlg.h"
#include "platform/dialog_template.h"
#include "rigs/sim/virtual_clock.h"
#include "rigs/headless/headless_backend.h"

namespace velkor::app {
namespace {

constexpr COLORREF kButtonFace = 0x00F0F0F0;  // the headless toolkit's COLOR_BTNFACE
constexpr UINT kCtlColorEdit = 1;

class ToolkitTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallDialogBackend(&backend_); }
  void TearDown() override { InstallDialogBackend(nullptr); }

  // Runs template 102 with a label bound to the status control; during() runs inside the
  // dialog's initialisation, while the windows exist.
  void WithBoundLabel(const std::function<void(CLabel&)>& during) {
    struct Host : CDialog {
      explicit Host(const std::function<void(CLabel&)>& f) : CDialog(kMainDialogTemplateId), f(f) {}
      void DoDataExchange(CDataExchange* exchange) override {
        DDX_Control(exchange, kStatusLabelId, label);
      }
      BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        f(label);
        EndDialog(kIdOk);
        return 1;
      }
      const std::function<void(CLabel&)>& f;
      CLabel label;
    } host(during);
    ASSERT_EQ(host.DoModal(), kIdOk);
  }

  sim::VirtualClock clock_;
  HeadlessBackend backend_{clock_};
};

TEST_F(ToolkitTest, NewLabelUsesSystemColoursTheGuiFontAndOwnsThreeObjects) {
  {
    CLabel label;
    EXPECT_EQ(label.TextColor.load(), GetSysColor(kColorWindowText));
    EXPECT_EQ(backend_.BrushColor(label.BackBrush), kButtonFace);
    EXPECT_EQ(backend_.BrushColor(label.FlashBrush), kButtonFace);
    EXPECT_NE(label.BackBrush, label.FlashBrush);
    LOGFONTA gui{};
    GetDefaultGuiFont(&gui);
    EXPECT_EQ(std::memcmp(&label.LabelLogFont, &gui, sizeof(gui)), 0);
    EXPECT_EQ(backend_.FontDescription(label.LabelFont.m_hObject).lfHeight, gui.lfHeight);
    EXPECT_EQ(backend_.LiveGraphicsObjects(), 3);
  }
  EXPECT_EQ(backend_.LiveGraphicsObjects(), 0);
  EXPECT_EQ(backend_.FailedDeletes(), 0);
}

TEST_F(ToolkitTest, FontHeightChangeKeepsEveryOtherAttributeAndReplacesTheFont) {
  CLabel label;
  const HFONT before = label.LabelFont.m_hObject;

  label.ChangeFontHeight(-18);

  const LOGFONTA font = backend_.FontDescription(label.LabelFont.m_hObject);
  LOGFONTA gui{};
  GetDefaultGuiFont(&gui);
  EXPECT_EQ(font.lfHeight, -18);
  EXPECT_STREQ(font.lfFaceName, gui.lfFaceName);
  EXPECT_EQ(font.lfWeight, gui.lfWeight);
  EXPECT_EQ(font.lfCharSet, gui.lfCharSet);
  EXPECT_NE(label.LabelFont.m_hObject, before);
  EXPECT_EQ(backend_.LiveGraphicsObjects(), 3);  // the old font was deleted
}

TEST_F(ToolkitTest, CtlColorSetsUpOnlyStaticControlsAndPicksTheBrushByFlashPhase) {
  CLabel label;
  label.TextColor = kRed;
  CDC staticDc(backend_.NewDeviceContext());
  CDC editDc(backend_.NewDeviceContext());

  EXPECT_EQ(label.CtlColor(&staticDc, kCtlColorStatic), label.BackBrush);
  EXPECT_EQ(label.CtlColor(&editDc, kCtlColorEdit), label.BackBrush);

  const auto set = backend_.DeviceContext(staticDc.m_hDC);
  EXPECT_EQ(set.textColor, kRed);
  EXPECT_EQ(set.backgroundMode, kBkModeTransparent);
  EXPECT_EQ(set.font, label.LabelFont.m_hObject);
  const auto untouched = backend_.DeviceContext(editDc.m_hDC);
  EXPECT_EQ(untouched.textColor, 0u);
  EXPECT_EQ(untouched.backgroundMode, kBkModeOpaque);
  EXPECT_EQ(untouched.font, nullptr);

  // Without flashing a tick only turns the phase over.
  label.OnTimer(1);
  EXPECT_TRUE(label.FlashPhase);
  EXPECT_EQ(label.CtlColor(&staticDc, kCtlColorStatic), label.BackBrush);
  // Background flashing: the flash brush while the phase is false, whatever the kind.
  label.FlashMode = 2;
  label.OnTimer(1);
  EXPECT_EQ(label.CtlColor(&editDc, kCtlColorEdit), label.FlashBrush);
  label.OnTimer(1);
  EXPECT_EQ(label.CtlColor(&staticDc, kCtlColorStatic), label.BackBrush);
}

TEST_F(ToolkitTest, BoundLabelRepaintsAtOnceInItsNewColourThroughTheParent) {
  WithBoundLabel([](CLabel& label) {
    label.ChangeTextColor(kRed);
    label.SetWindowText("Erase failed!!!");
  });

  const auto redraws = backend_.EventsOf(HeadlessEvent::Kind::kRedraw);
  ASSERT_EQ(redraws.size(), 1u);
  EXPECT_EQ(redraws[0].value, 0x0105);
  EXPECT_EQ(redraws[0].color, kRed);
  const auto texts = backend_.EventsOf(HeadlessEvent::Kind::kText);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].controlId, kStatusLabelId);
  EXPECT_EQ(texts[0].color, kRed);
}

TEST_F(ToolkitTest, BoundLabelFlashesItsTextOpensItOnClickAndShowsItsCursor) {
  std::vector<std::string> shown;
  LRESULT defaultCursor = -1;
  LRESULT hoverCursor = -1;
  WithBoundLabel([&](CLabel& label) {
    label.FlashMode = 1;
    label.FlashText = "Blink";
    for (int tick = 0; tick < 3; ++tick) {
      DispatchToWindow(label.m_hWnd, kWmTimer, 7, 0);
      shown.push_back(backend_.CurrentText(kStatusLabelId));
    }
    DispatchToWindow(label.m_hWnd, kWmLButtonDown, 0, 0);
    defaultCursor = DispatchToWindow(label.m_hWnd, kWmSetCursor, 0, 0);
    label.HoverCursor = reinterpret_cast<HCURSOR>(std::uintptr_t{0x77});
    hoverCursor = DispatchToWindow(label.m_hWnd, kWmSetCursor, 0, 0);
  });

  EXPECT_EQ(shown, (std::vector<std::string>{"", "Blink", ""}));
  const auto opened = backend_.EventsOf(HeadlessEvent::Kind::kShellOpen);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].text, "");
  EXPECT_EQ(defaultCursor, 0);
  EXPECT_EQ(hoverCursor, 1);
}

TEST(IconOrigin, CentresWithSignedRoundingTowardZero) {
  EXPECT_EQ(IconOrigin(36, 36, 32, 32).x, 2);
  EXPECT_EQ(IconOrigin(35, 35, 32, 32).y, 2);
  EXPECT_EQ(IconOrigin(34, 34, 32, 32).x, 1);
  EXPECT_EQ(IconOrigin(30, 40, 32, 32).x, 0);  // -1 / 2
  EXPECT_EQ(IconOrigin(30, 40, 32, 32).y, 4);
}

TEST_F(ToolkitTest, MinimisedMainWindowDrawsItsIconCentredAndDragsIt) {
  struct PaintProbe : CVelkorDlg {
    BOOL OnInitDialog() override {
      CDialog::OnInitDialog();
      WindowIcon = CurrentDialogBackend().LoadAppIcon(kAppIconId);
      OnPaint();
      dragged = OnQueryDragIcon();
      EndDialog(kIdOk);
      return 1;
    }
    HCURSOR dragged = nullptr;
  };
  backend_.SetMinimised(true);
  backend_.SetClientSize(35, 34);

  PaintProbe dialog;
  dialog.DoModal();

  const auto painted = backend_.EventsOf(HeadlessEvent::Kind::kIconPainted);
  ASSERT_EQ(painted.size(), 1u);
  EXPECT_EQ(painted[0].value, 2);
  EXPECT_EQ(painted[0].extra, 1);
  EXPECT_EQ(reinterpret_cast<HICON>(dialog.dragged), dialog.WindowIcon);
}

}  // namespace
}  // namespace velkor::app
