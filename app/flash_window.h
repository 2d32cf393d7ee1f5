// The flash window: from just before the flash's protection is released until the update flow
// has restored it, written the verdict and closed the camera. A request to end the program
// inside it (the close button, a signal, a logoff) is held and noted, not acted on: ending there
// would leave the flash erased or unprotected and the camera's flash interface held.
#pragma once

#include <mutex>

namespace velkor::app {

class FlashWindow {
 public:
  // On the worker, before the release. False when the program is already ending: the release
  // must not begin.
  bool Open();
  // On the worker, once the flow has returned.
  void Close();
  // A request to end the program. True when it is held (the window is open): the caller notes
  // it and goes on. False: nothing holds it, the caller ends the program, and the window can no
  // longer open.
  bool HoldEndRequest();
  // A request was held since the window opened.
  bool EndRequested() const;
  bool IsOpen() const;
  // As at the start of a process (for rigs that run the program more than once).
  void Reset();

 private:
  mutable std::mutex mutex_;
  bool open_ = false;
  bool ending_ = false;
  bool requested_ = false;
};

// The updater's one window.
FlashWindow& TheFlashWindow();

constexpr const char kEndHeldText[] = "Finishing the update, please wait ...";
// What the system may show while a logoff or shutdown waits for the updater.
constexpr const char kSessionEndBlockedReason[] =
    "Updating camera firmware. Do not unplug the camera.";

}  // namespace velkor::app
