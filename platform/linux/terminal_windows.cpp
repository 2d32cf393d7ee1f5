// TerminalBackend's window operations: texts, progress positions, redraws and timers of the
// dialog's windows, and the drawing of the dialog's state through the view. Each runs on the
// dialog's thread (a worker's call is queued there and waited for).
#include <algorithm>

#include "platform/linux/terminal_backend.h"
#include "platform/linux/terminal_session.h"

namespace velkor {

BOOL TerminalBackend::EndModalDialog(HWND dialog, INT_PTR result) {
  BOOL ended = 0;
  OnDialogThread([&] {
    if (dialog != nullptr && FromHandle(dialog) == dialog_ && dialog_->alive && !modalEnded_) {
      modalEnded_ = true;
      modalResult_ = result;
      ended = 1;
    }
  });
  return ended;
}

HWND TerminalBackend::DialogItem(HWND dialog, int controlId) {
  HWND item = nullptr;
  OnDialogThread([&] {
    for (Window& window : windows_) {
      if (window.alive && window.parent == FromHandle(dialog) && window.id == controlId) {
        item = ToHandle(&window);
        return;
      }
    }
  });
  return item;
}

LRESULT TerminalBackend::Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  OnDialogThread([&] {
    if (Alive(window)) {
      result = DispatchToWindow(window, message, wParam, lParam);
    }
  });
  return result;
}

LRESULT TerminalBackend::DefaultProcessing(HWND handle, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  LRESULT result = 0;
  OnDialogThread([&] {
    if (!Alive(handle)) {
      return;
    }
    Window* window = FromHandle(handle);
    switch (message) {
      case kPbmSetPos:
        if (window->className == "msctls_progress32") {
          // The bar's range stays 0 to 100; the control clamps positions into it.
          result = window->position;
          window->position =
              std::clamp(static_cast<int>(static_cast<std::intptr_t>(wParam)), 0, 100);
          Render();
        }
        break;
      case kWmSetIcon:
        result = window->icons[wParam == kIconBig ? 1 : 0];
        window->icons[wParam == kIconBig ? 1 : 0] = lParam;
        break;
      case kWmClose:
        // The dialog manager turns a close into the Cancel command.
        if (window == dialog_) {
          DispatchToWindow(handle, kWmCommand, kIdCancel, 0);
        }
        break;
      case kWmInitDialog:
        result = 1;
        break;
      default:
        break;
    }
  });
  return result;
}

BOOL TerminalBackend::SetText(HWND window, const char* text) {
  BOOL set = 0;
  OnDialogThread([&] {
    if (Alive(window)) {
      FromHandle(window)->text = text != nullptr ? text : "";
      set = 1;
      Render();
    }
  });
  return set;
}

std::string TerminalBackend::Text(HWND window) {
  std::string text;
  OnDialogThread([&] {
    if (Alive(window)) {
      text = FromHandle(window)->text;
    }
  });
  return text;
}

BOOL TerminalBackend::Redraw(HWND window, const RECT* /*update*/, UINT flags) {
  BOOL done = 0;
  OnDialogThread([&] {
    if (Alive(window)) {
      dirty_ = true;
      if ((flags & kRdwUpdateNow) != 0) {
        Render();
      }
      done = 1;
    }
  });
  return done;
}

BOOL TerminalBackend::Invalidate(HWND window, const RECT* /*rect*/, BOOL /*erase*/) {
  BOOL done = 0;
  OnDialogThread([&] {
    if (Alive(window)) {
      dirty_ = true;
      done = 1;
    }
  });
  return done;
}

BOOL TerminalBackend::UpdateNow(HWND window) {
  BOOL done = 0;
  OnDialogThread([&] {
    if (Alive(window)) {
      if (dirty_) {
        Render();
      }
      done = 1;
    }
  });
  return done;
}

UINT_PTR TerminalBackend::StartTimer(HWND window, UINT_PTR id, UINT periodMs) {
  UINT_PTR started = 0;
  OnDialogThread([&] {
    if (!Alive(window)) {
      return;
    }
    const SteadyTime due = std::chrono::steady_clock::now() + std::chrono::milliseconds(periodMs);
    for (Timer& timer : timers_) {
      if (timer.window == FromHandle(window) && timer.id == id) {
        timer.periodMs = periodMs;
        timer.due = due;
        started = id;
        return;
      }
    }
    timers_.push_back({FromHandle(window), id, periodMs, due});
    started = id;
  });
  return started;
}

BOOL TerminalBackend::StopTimer(HWND window, UINT_PTR id) {
  BOOL stopped = 0;
  OnDialogThread([&] {
    const auto before = timers_.size();
    std::erase_if(timers_, [&](const Timer& timer) {
      return timer.window == FromHandle(window) && timer.id == id;
    });
    stopped = timers_.size() != before;
  });
  return stopped;
}

TerminalBackend::Window* TerminalBackend::FindControl(const char* className) const {
  for (const Window& window : windows_) {
    if (window.parent == dialog_ && window.className == className) {
      return const_cast<Window*>(&window);
    }
  }
  return nullptr;
}

DialogViewState TerminalBackend::CurrentState() {
  DialogViewState state;
  if (Window* progress = FindControl("msctls_progress32")) {
    state.progress = progress->position;
  }
  if (Window* label = FindControl("static")) {
    state.status = label->text;
    // The colours come from the control's own answer to WM_CTLCOLORSTATIC, as when it paints.
    const COLORREF windowText = SystemColor(kColorWindowText);
    DeviceContext dc{windowText, kBkModeOpaque, nullptr};
    DispatchToWindow(ToHandle(dialog_), kWmCtlColorStatic, reinterpret_cast<WPARAM>(&dc),
                     reinterpret_cast<LPARAM>(ToHandle(label)));
    state.statusColor = dc.textColor;
    state.statusColorIsDefault = dc.textColor == windowText;
  }
  return state;
}

void TerminalBackend::Render() {
  dirty_ = false;
  if (!shown_ || dialog_ == nullptr || !dialog_->alive) {
    return;
  }
  const DialogViewState state = CurrentState();
  std::lock_guard<std::mutex> lock(terminal::OutputMutex());
  view_.Update(state);
}

}  // namespace velkor
