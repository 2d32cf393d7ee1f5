// Headless backend: brushes, fonts, device contexts, system colours and metrics, icons,
// cursors and the shell, kept as plain records so tests can see what was made and released.
#include <cstring>

#include "rigs/headless/headless_backend.h"

namespace velkor {

BOOL HeadlessBackend::InitCommonControls(const INITCOMMONCONTROLSEX& controls) {
  return controls.dwSize == sizeof(INITCOMMONCONTROLSEX);
}

HDC HeadlessBackend::NewDeviceContext() {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::uintptr_t handle = nextHandle_++;
  deviceContexts_[handle] = DcState{};
  return reinterpret_cast<HDC>(handle);
}

HeadlessBackend::DcState HeadlessBackend::DeviceContext(HDC dc) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = deviceContexts_.find(reinterpret_cast<std::uintptr_t>(dc));
  return found == deviceContexts_.end() ? DcState{} : found->second;
}

HDC HeadlessBackend::BeginPainting(HWND /*window*/) {
  return NewDeviceContext();
}

void HeadlessBackend::EndPainting(HWND /*window*/, HDC dc) {
  std::lock_guard<std::mutex> lock(mutex_);
  deviceContexts_.erase(reinterpret_cast<std::uintptr_t>(dc));
}

HFONT HeadlessBackend::SelectFont(HDC dc, HFONT font) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = deviceContexts_.find(reinterpret_cast<std::uintptr_t>(dc));
  if (found == deviceContexts_.end()) {
    return nullptr;
  }
  HFONT previous = found->second.font;
  found->second.font = font;
  return previous;
}

COLORREF HeadlessBackend::SetDcTextColor(HDC dc, COLORREF color) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = deviceContexts_.find(reinterpret_cast<std::uintptr_t>(dc));
  if (found == deviceContexts_.end()) {
    return 0xFFFFFFFF;  // CLR_INVALID
  }
  const COLORREF previous = found->second.textColor;
  found->second.textColor = color;
  return previous;
}

int HeadlessBackend::SetDcBackgroundMode(HDC dc, int mode) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = deviceContexts_.find(reinterpret_cast<std::uintptr_t>(dc));
  if (found == deviceContexts_.end()) {
    return 0;
  }
  const int previous = found->second.backgroundMode;
  found->second.backgroundMode = mode;
  return previous;
}

BOOL HeadlessBackend::PaintIcon(HDC /*dc*/, int x, int y, HICON icon) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (icon == nullptr) {
    return 0;
  }
  HeadlessEvent event(HeadlessEvent::Kind::kIconPainted);
  event.value = x;
  event.extra = y;
  RecordLocked(std::move(event));
  return 1;
}

COLORREF HeadlessBackend::SystemColor(int index) {
  switch (index) {
    case kColorWindowText:
      return 0x00000000;
    case kColorBtnFace:
      return 0x00F0F0F0;
    default:
      return 0x00FFFFFF;
  }
}

HBRUSH HeadlessBackend::NewSolidBrush(COLORREF color) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::uintptr_t handle = nextHandle_++;
  GraphicsObject brush;
  brush.color = color;
  graphics_[handle] = brush;
  return reinterpret_cast<HBRUSH>(handle);
}

HFONT HeadlessBackend::NewFont(const LOGFONTA& description) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::uintptr_t handle = nextHandle_++;
  GraphicsObject font;
  font.isFont = true;
  font.font = description;
  graphics_[handle] = font;
  return reinterpret_cast<HFONT>(handle);
}

BOOL HeadlessBackend::DeleteGraphicsObject(HGDIOBJ object) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = graphics_.find(reinterpret_cast<std::uintptr_t>(object));
  if (found == graphics_.end() || found->second.deleted) {
    ++failedDeletes_;
    return 0;
  }
  found->second.deleted = true;
  return 1;
}

int HeadlessBackend::LiveGraphicsObjects() const {
  std::lock_guard<std::mutex> lock(mutex_);
  int live = 0;
  for (const auto& [handle, object] : graphics_) {
    live += object.deleted ? 0 : 1;
  }
  return live;
}

int HeadlessBackend::FailedDeletes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failedDeletes_;
}

COLORREF HeadlessBackend::BrushColor(HBRUSH brush) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = graphics_.find(reinterpret_cast<std::uintptr_t>(brush));
  return found == graphics_.end() ? 0xFFFFFFFF : found->second.color;
}

LOGFONTA HeadlessBackend::FontDescription(HFONT font) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = graphics_.find(reinterpret_cast<std::uintptr_t>(font));
  return found == graphics_.end() ? LOGFONTA{} : found->second.font;
}

// The stock GUI font as Windows describes it: "MS Shell Dlg", 11 pixels, normal weight.
BOOL HeadlessBackend::DefaultGuiFont(LOGFONTA* description) {
  if (description == nullptr) {
    return 0;
  }
  *description = LOGFONTA{};
  description->lfHeight = -11;
  description->lfWeight = 400;
  description->lfCharSet = 1;
  std::strcpy(description->lfFaceName, "MS Shell Dlg");
  return 1;
}

int HeadlessBackend::SystemMetric(int index) {
  std::lock_guard<std::mutex> lock(mutex_);
  switch (index) {
    case kSmCxIcon:
      return iconWidth_;
    case kSmCyIcon:
      return iconHeight_;
    default:
      return 0;
  }
}

void HeadlessBackend::SetIconMetrics(int width, int height) {
  std::lock_guard<std::mutex> lock(mutex_);
  iconWidth_ = width;
  iconHeight_ = height;
}

void HeadlessBackend::SetIconAvailable(bool available) {
  std::lock_guard<std::mutex> lock(mutex_);
  iconAvailable_ = available;
}

HICON HeadlessBackend::LoadAppIcon(int resourceId) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!iconAvailable_) {
    return nullptr;
  }
  return reinterpret_cast<HICON>(static_cast<std::uintptr_t>(0x10000 + resourceId));
}

HCURSOR HeadlessBackend::ChangeCursor(HCURSOR cursor) {
  std::lock_guard<std::mutex> lock(mutex_);
  HCURSOR previous = cursor_;
  cursor_ = cursor;
  return previous;
}

void HeadlessBackend::ShellOpen(const char* file) {
  std::lock_guard<std::mutex> lock(mutex_);
  HeadlessEvent event(HeadlessEvent::Kind::kShellOpen, 0, file != nullptr ? file : "");
  RecordLocked(std::move(event));
}

}  // namespace velkor
