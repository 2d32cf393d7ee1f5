// CLabel: the coloured status line. Chooses its own text colour, font and background when the
// static control paints, and can flash its text or background on a timer of its own window.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/dialog_toolkit.h"

namespace velkor::app {

constexpr COLORREF kBlue = 0x00FF0000;
constexpr COLORREF kRed = 0x000000FF;

class CLabel : public CStatic {
 public:
  CLabel();
  ~CLabel() override;

  // Stores the colour and repaints at once (invalidate, erase, update now). Also called from the
  // update worker: the colour is one atomic store, the repaint is served by the dialog's thread.
  void ChangeTextColor(COLORREF color);
  // Rebuilds the font from LabelLogFont with this height and repaints at once.
  void ChangeFontHeight(LONG height);

  // Reflected WM_CTLCOLORSTATIC: for a static control selects the font, the text colour and a
  // transparent text background; the brush is FlashBrush in the dark phase of background
  // flashing and BackBrush otherwise.
  HBRUSH CtlColor(CDC* dc, UINT ctlColor) override;
  void OnTimer(UINT_PTR id) override;
  BOOL OnSetCursor(CWnd* window, UINT hitTest, UINT message) override;
  void OnLButtonDown(UINT flags, POINT point) override;

  // The label's state; flashing and the hover cursor keep their defaults in the updater.
  std::atomic<COLORREF> TextColor;
  HBRUSH BackBrush = nullptr;
  HBRUSH FlashBrush = nullptr;
  LOGFONTA LabelLogFont{};
  CFont LabelFont;
  std::string FlashText;
  BOOL FlashPhase = 0;
  std::int32_t FlashMode = 0;  // 0 none, 1 text flashing, 2 background flashing
  HCURSOR HoverCursor = nullptr;
};

}  // namespace velkor::app
