// The camera lock on Windows: a named mutex in the global namespace, its name derived from the
// camera's device path, so that every session's updater and service tool meet on it. Windows
// abandons the mutex when its holder ends, however it ends.
#pragma once

#include <string>
#include <string_view>

#include "platform/camera_lock.h"

namespace velkor::win32 {

class MutexCameraLock : public CameraLock {
 public:
  MutexCameraLock() = default;
  ~MutexCameraLock() override;
  MutexCameraLock(const MutexCameraLock&) = delete;
  MutexCameraLock& operator=(const MutexCameraLock&) = delete;

  LockOutcome Acquire(std::u16string_view devicePath, std::string* holder) override;
  void Release() override;

 private:
  void* mutex_ = nullptr;
};

// "Global\velkor-camera-<path>": the device path lower-cased, each character a name may not hold
// replaced, cut to fit with a hash of the whole path when long.
std::wstring CameraMutexName(std::u16string_view devicePath);

}  // namespace velkor::win32
