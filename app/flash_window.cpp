// The flash window's state, shared by the worker and the dialog's thread.
#include "app/flash_window.h"

namespace velkor::app {

bool FlashWindow::Open() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (ending_) {
    return false;
  }
  open_ = true;
  return true;
}

void FlashWindow::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = false;
}

bool FlashWindow::HoldEndRequest() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (open_) {
    requested_ = true;
    return true;
  }
  ending_ = true;
  return false;
}

bool FlashWindow::EndRequested() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requested_;
}

bool FlashWindow::IsOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

void FlashWindow::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = ending_ = requested_ = false;
}

FlashWindow& TheFlashWindow() {
  static FlashWindow window;
  return window;
}

}  // namespace velkor::app
