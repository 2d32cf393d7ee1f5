// TerminalBackend's graphics objects, device contexts and system values. A terminal draws no
// pixels: these keep what the application sets (colours, fonts) so that the drawing can ask the
// controls for their colours, and answer with the values of a classic Windows desktop.
#include <cstring>

#include "platform/dialog_template.h"
#include "platform/linux/terminal_backend.h"

namespace velkor {
namespace {
constexpr COLORREF kWindowTextColor = 0x00000000;
constexpr COLORREF kButtonFaceColor = 0x00F0F0F0;
constexpr int kIconSize = 32;
// The client area of the 319 x 45 dialog-unit template at the default dialog font.
constexpr LONG kClientWidth = 478;
constexpr LONG kClientHeight = 73;

// Stands in for the application's icon, which a terminal has nowhere to show.
struct IconPlaceholder {
  int resourceId;
} appIcon{kAppIconId};
}  // namespace

HDC TerminalBackend::BeginPainting(HWND /*window*/) {
  auto dc =
      std::make_unique<DeviceContext>(DeviceContext{kWindowTextColor, kBkModeOpaque, nullptr});
  HDC handle = reinterpret_cast<HDC>(dc.get());
  std::lock_guard<std::mutex> lock(graphicsMutex_);
  paintContexts_[handle] = std::move(dc);
  return handle;
}

void TerminalBackend::EndPainting(HWND /*window*/, HDC dc) {
  std::lock_guard<std::mutex> lock(graphicsMutex_);
  paintContexts_.erase(dc);
}

HFONT TerminalBackend::SelectFont(HDC dc, HFONT font) {
  if (dc == nullptr) {
    return nullptr;
  }
  auto* context = reinterpret_cast<DeviceContext*>(dc);
  HFONT previous = context->font;
  context->font = font;
  return previous;
}

COLORREF TerminalBackend::SetDcTextColor(HDC dc, COLORREF color) {
  if (dc == nullptr) {
    return 0;
  }
  auto* context = reinterpret_cast<DeviceContext*>(dc);
  const COLORREF previous = context->textColor;
  context->textColor = color;
  return previous;
}

int TerminalBackend::SetDcBackgroundMode(HDC dc, int mode) {
  if (dc == nullptr) {
    return 0;
  }
  auto* context = reinterpret_cast<DeviceContext*>(dc);
  const int previous = context->backgroundMode;
  context->backgroundMode = mode;
  return previous;
}

BOOL TerminalBackend::PaintIcon(HDC dc, int /*x*/, int /*y*/, HICON icon) {
  return dc != nullptr && icon != nullptr;
}

COLORREF TerminalBackend::SystemColor(int index) {
  switch (index) {
    case kColorWindowText:
      return kWindowTextColor;
    case kColorBtnFace:
      return kButtonFaceColor;
    default:
      return 0x00FFFFFF;
  }
}

HBRUSH TerminalBackend::NewSolidBrush(COLORREF color) {
  auto object = std::make_unique<GraphicsObject>(GraphicsObject{false, color, {}});
  HGDIOBJ handle = object.get();
  std::lock_guard<std::mutex> lock(graphicsMutex_);
  graphics_[handle] = std::move(object);
  return static_cast<HBRUSH>(handle);
}

HFONT TerminalBackend::NewFont(const LOGFONTA& description) {
  auto object = std::make_unique<GraphicsObject>(GraphicsObject{true, 0, description});
  HGDIOBJ handle = object.get();
  std::lock_guard<std::mutex> lock(graphicsMutex_);
  graphics_[handle] = std::move(object);
  return static_cast<HFONT>(handle);
}

BOOL TerminalBackend::DeleteGraphicsObject(HGDIOBJ object) {
  std::lock_guard<std::mutex> lock(graphicsMutex_);
  return graphics_.erase(object) == 1;
}

BOOL TerminalBackend::DefaultGuiFont(LOGFONTA* description) {
  if (description == nullptr) {
    return 0;
  }
  // DEFAULT_GUI_FONT of a Windows desktop at 96 dots per inch: 8-point MS Shell Dlg.
  *description = LOGFONTA{};
  description->lfHeight = -11;
  description->lfWeight = 400;
  description->lfCharSet = 1;
  std::strncpy(description->lfFaceName, "MS Shell Dlg", sizeof description->lfFaceName - 1);
  return 1;
}

int TerminalBackend::SystemMetric(int index) {
  return index == kSmCxIcon || index == kSmCyIcon ? kIconSize : 0;
}

HICON TerminalBackend::LoadAppIcon(int resourceId) {
  return resourceId == kAppIconId ? reinterpret_cast<HICON>(&appIcon) : nullptr;
}

HCURSOR TerminalBackend::ChangeCursor(HCURSOR cursor) {
  std::lock_guard<std::mutex> lock(graphicsMutex_);
  HCURSOR previous = cursor_;
  cursor_ = cursor;
  return previous;
}

// A terminal opens no documents: the label's open-on-click is never triggered in this program,
// and starting programs from a status text would be unsafe.
void TerminalBackend::ShellOpen(const char* /*file*/) {}

BOOL TerminalBackend::Minimised(HWND /*window*/) {
  return 0;
}

BOOL TerminalBackend::ClientRect(HWND window, RECT* rect) {
  if (window == nullptr || rect == nullptr) {
    return 0;
  }
  *rect = {0, 0, kClientWidth, kClientHeight};
  return 1;
}

}  // namespace velkor
