// Camera lock port: one program at a time on a camera. The updater and the service tool take it
// before they send the camera anything and keep it until the process ends, so two of them can
// never interleave their flash commands on one camera.
#pragma once

#include <string>
#include <string_view>

namespace velkor {

enum class LockOutcome {
  kAcquired,  // this process holds the camera now
  kBusy,      // another process holds it
  kFailed,    // the lock itself could not be taken (no place for it, no permission)
};

class CameraLock {
 public:
  virtual ~CameraLock() = default;
  // Takes the lock of the camera behind this capture-device path without waiting. It is held
  // until Release or the end of the process (a killed process drops it too). On kBusy, *holder
  // names the other process when the system can tell it, else stays empty.
  virtual LockOutcome Acquire(std::u16string_view devicePath, std::string* holder) = 0;
  virtual void Release() = 0;
};

}  // namespace velkor
