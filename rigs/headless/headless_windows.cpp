// Headless backend: the windows of the dialog, their texts, painting through the label's
// colour hooks, the progress position, redraws and timers.
#include <algorithm>

#include "rigs/headless/headless_backend.h"

namespace velkor {
namespace {

HWND HandleOf(std::size_t index) {
  return reinterpret_cast<HWND>(index + 1);
}

}  // namespace

HeadlessBackend::Window* HeadlessBackend::FindWindowLocked(HWND window) {
  const auto index = reinterpret_cast<std::uintptr_t>(window);
  if (index == 0 || index > windows_.size()) {
    return nullptr;
  }
  return &windows_[index - 1];
}

const HeadlessBackend::Window* HeadlessBackend::FindWindowLocked(HWND window) const {
  return const_cast<HeadlessBackend*>(this)->FindWindowLocked(window);
}

HWND HeadlessBackend::CreateWindowLocked(int controlId, const char* className, const char* text,
                                         HWND parent) {
  Window window;
  window.controlId = controlId;
  window.className = className;
  window.text = text;
  window.parent = parent;
  windows_.push_back(std::move(window));
  return HandleOf(windows_.size() - 1);
}

HWND HeadlessBackend::DialogItem(HWND dialog, int controlId) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (std::size_t i = 0; i < windows_.size(); ++i) {
    if (windows_[i].alive && windows_[i].parent == dialog && windows_[i].controlId == controlId) {
      return HandleOf(i);
    }
  }
  return nullptr;
}

LRESULT HeadlessBackend::Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  OnDialogThread([&] {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const Window* target = FindWindowLocked(window);
      if (target == nullptr || !target->alive) {
        return;
      }
    }
    result = DispatchToWindow(window, message, wParam, lParam);
  });
  return result;
}

LRESULT HeadlessBackend::DefaultProcessing(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  std::unique_lock<std::mutex> lock(mutex_);
  Window* target = FindWindowLocked(window);
  if (target == nullptr || !target->alive) {
    return 0;
  }
  switch (message) {
    case kWmClose:
      if (window == dialog_) {
        // The dialog manager answers a close as if Cancel had been chosen.
        lock.unlock();
        return DispatchToWindow(window, kWmCommand, kIdCancel, 0);
      }
      return 0;
    case kPbmSetPos: {
      if (target->className != "msctls_progress32") {
        return 0;
      }
      const int previous = target->progress;
      // The bar's range is the default 0 to 100; positions outside it are clamped.
      target->progress = std::clamp(static_cast<int>(wParam), 0, 100);
      HeadlessEvent event(HeadlessEvent::Kind::kProgress, target->controlId);
      event.value = target->progress;
      RecordLocked(std::move(event));
      return previous;
    }
    case kWmSetIcon: {
      const int which = wParam == static_cast<WPARAM>(kIconBig) ? 1 : 0;
      HICON previous = target->icons[which];
      target->icons[which] = reinterpret_cast<HICON>(lParam);
      HeadlessEvent event(HeadlessEvent::Kind::kIconSet, target->controlId);
      event.value = which;
      RecordLocked(std::move(event));
      return reinterpret_cast<LRESULT>(previous);
    }
    default:
      return 0;
  }
}

COLORREF HeadlessBackend::PaintControl(HWND window) {
  HWND parent;
  int controlId;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* target = FindWindowLocked(window);
    if (target == nullptr || !target->alive || target->className != "static") {
      return 0;
    }
    target->invalid = false;
    parent = target->parent;
    controlId = target->controlId;
  }
  // A static control asks its parent for colours before it draws; the framework reflects the
  // question to the control's own CtlColor.
  HDC dc = NewDeviceContext();
  const LRESULT brush = DispatchToWindow(parent, kWmCtlColorStatic, reinterpret_cast<WPARAM>(dc),
                                         reinterpret_cast<LPARAM>(window));
  std::lock_guard<std::mutex> lock(mutex_);
  const DcState state = deviceContexts_[reinterpret_cast<std::uintptr_t>(dc)];
  deviceContexts_.erase(reinterpret_cast<std::uintptr_t>(dc));
  HeadlessEvent event(HeadlessEvent::Kind::kPaint, controlId);
  event.color = state.textColor;
  event.value = state.backgroundMode;
  event.extra = static_cast<std::int64_t>(brush);
  RecordLocked(std::move(event));
  return state.textColor;
}

BOOL HeadlessBackend::SetText(HWND window, const char* text) {
  BOOL result = 0;
  const std::string copy = text != nullptr ? text : "";
  OnDialogThread([&] {
    int controlId;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Window* target = FindWindowLocked(window);
      if (target == nullptr || !target->alive) {
        return;
      }
      target->text = copy;
      controlId = target->controlId;
    }
    // The control repaints with its new text at once.
    const COLORREF color = PaintControl(window);
    std::lock_guard<std::mutex> lock(mutex_);
    HeadlessEvent event(HeadlessEvent::Kind::kText, controlId, copy);
    event.color = color;
    RecordLocked(std::move(event));
    result = 1;
  });
  return result;
}

std::string HeadlessBackend::Text(HWND window) {
  std::string text;
  OnDialogThread([&] {
    std::lock_guard<std::mutex> lock(mutex_);
    const Window* target = FindWindowLocked(window);
    if (target != nullptr && target->alive) {
      text = target->text;
    }
  });
  return text;
}

std::string HeadlessBackend::CurrentText(int controlId) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto window = windows_.rbegin(); window != windows_.rend(); ++window) {
    if (window->controlId == controlId) {
      return window->text;
    }
  }
  return {};
}

BOOL HeadlessBackend::Redraw(HWND window, const RECT* /*update*/, UINT flags) {
  BOOL result = 0;
  OnDialogThread([&] {
    int controlId;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Window* target = FindWindowLocked(window);
      if (target == nullptr || !target->alive) {
        return;
      }
      controlId = target->controlId;
      if ((flags & kRdwInvalidate) != 0) {
        target->invalid = true;
      }
    }
    COLORREF color = 0;
    if ((flags & kRdwUpdateNow) != 0) {
      color = PaintControl(window);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    HeadlessEvent event(HeadlessEvent::Kind::kRedraw, controlId);
    event.value = flags;
    event.color = color;
    RecordLocked(std::move(event));
    result = 1;
  });
  return result;
}

BOOL HeadlessBackend::Invalidate(HWND window, const RECT* /*rect*/, BOOL /*erase*/) {
  BOOL result = 0;
  OnDialogThread([&] {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* target = FindWindowLocked(window);
    if (target != nullptr && target->alive) {
      target->invalid = true;
      result = 1;
    }
  });
  return result;
}

BOOL HeadlessBackend::UpdateNow(HWND window) {
  BOOL result = 0;
  OnDialogThread([&] {
    bool invalid;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Window* target = FindWindowLocked(window);
      if (target == nullptr || !target->alive) {
        return;
      }
      invalid = target->invalid;
    }
    if (invalid) {
      PaintControl(window);
    }
    result = 1;
  });
  return result;
}

UINT_PTR HeadlessBackend::StartTimer(HWND window, UINT_PTR id, UINT periodMs) {
  UnwindIfEnded();
  std::lock_guard<std::mutex> lock(mutex_);
  const Window* target = FindWindowLocked(window);
  if (target == nullptr || !target->alive || id == 0) {
    return 0;
  }
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                               [&](const Timer& t) { return t.window == window && t.id == id; }),
                timers_.end());
  timers_.push_back({window, id, periodMs, inner_.NowMs() + periodMs});
  HeadlessEvent event(HeadlessEvent::Kind::kTimerStarted, target->controlId);
  event.value = static_cast<std::int64_t>(id);
  event.extra = periodMs;
  RecordLocked(std::move(event));
  changed_.notify_all();
  return id;
}

BOOL HeadlessBackend::StopTimer(HWND window, UINT_PTR id) {
  UnwindIfEnded();
  std::lock_guard<std::mutex> lock(mutex_);
  const auto before = timers_.size();
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                               [&](const Timer& t) { return t.window == window && t.id == id; }),
                timers_.end());
  if (timers_.size() == before) {
    return 0;
  }
  const Window* target = FindWindowLocked(window);
  HeadlessEvent event{HeadlessEvent::Kind::kTimerStopped,
                      target != nullptr ? target->controlId : 0};
  event.value = static_cast<std::int64_t>(id);
  RecordLocked(std::move(event));
  return 1;
}

BOOL HeadlessBackend::Minimised(HWND /*window*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  return minimised_;
}

BOOL HeadlessBackend::ClientRect(HWND /*window*/, RECT* rect) {
  std::lock_guard<std::mutex> lock(mutex_);
  *rect = client_;
  return 1;
}

void HeadlessBackend::SetMinimised(bool minimised) {
  std::lock_guard<std::mutex> lock(mutex_);
  minimised_ = minimised;
}

void HeadlessBackend::SetClientSize(int width, int height) {
  std::lock_guard<std::mutex> lock(mutex_);
  client_ = {0, 0, width, height};
}

}  // namespace velkor
