// CLabel: construction of its brushes and font, look changes with immediate repaint, and its
// message handlers.
#include "app/label.h"

namespace velkor::app {

namespace {
constexpr UINT kRedrawNow = kRdwInvalidate | kRdwErase | kRdwUpdateNow;
}

CLabel::CLabel() : TextColor(GetSysColor(kColorWindowText)) {
  BackBrush = CreateSolidBrush(GetSysColor(kColorBtnFace));
  GetDefaultGuiFont(&LabelLogFont);
  LabelFont.CreateFontIndirect(&LabelLogFont);
  FlashBrush = CreateSolidBrush(GetSysColor(kColorBtnFace));
}

CLabel::~CLabel() {
  LabelFont.DeleteObject();
  DeleteObject(BackBrush);
  DeleteObject(FlashBrush);
}

void CLabel::ChangeTextColor(COLORREF color) {
  TextColor.store(color);
  RedrawWindow(nullptr, nullptr, kRedrawNow);
}

void CLabel::ChangeFontHeight(LONG height) {
  LabelLogFont.lfHeight = height;
  LabelFont.DeleteObject();
  LabelFont.CreateFontIndirect(&LabelLogFont);
  RedrawWindow(nullptr, nullptr, kRedrawNow);
}

HBRUSH CLabel::CtlColor(CDC* dc, UINT ctlColor) {
  if (ctlColor == kCtlColorStatic) {
    dc->SelectObject(&LabelFont);
    dc->SetTextColor(TextColor.load());
    dc->SetBkMode(kBkModeTransparent);
  }
  if (FlashMode == 2 && !FlashPhase) {
    return FlashBrush;
  }
  return BackBrush;
}

void CLabel::OnTimer(UINT_PTR /*id*/) {
  FlashPhase = !FlashPhase;
  if (FlashMode == 1) {
    SetWindowText(FlashPhase ? "" : FlashText.c_str());
  } else if (FlashMode == 2) {
    // Repaint without erasing, so CtlColor hands out the brush of the new phase.
    InvalidateRect(nullptr, 0);
    UpdateWindow();
  }
  Default();
}

BOOL CLabel::OnSetCursor(CWnd* window, UINT hitTest, UINT message) {
  if (HoverCursor != nullptr) {
    SetCursor(HoverCursor);
    return 1;
  }
  return CStatic::OnSetCursor(window, hitTest, message);
}

void CLabel::OnLButtonDown(UINT flags, POINT point) {
  std::string text;
  GetWindowText(text);
  ShellOpen(text.c_str());
  CStatic::OnLButtonDown(flags, point);
}

}  // namespace velkor::app
