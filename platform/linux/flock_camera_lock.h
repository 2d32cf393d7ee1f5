// The camera lock on Linux: an advisory lock (flock) on a lock file named after the camera's
// USB port path, under /run/lock (or /var/lock, /tmp where that is missing). The holder writes
// its process id and name into the file, so that a refused program can name it. The kernel
// drops the lock when the holder ends, however it ends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/camera_lock.h"

namespace velkor::linux_platform {

class FlockCameraLock : public CameraLock {
 public:
  // programName is written into the lock file for a refused program to report.
  explicit FlockCameraLock(std::string programName, std::vector<std::string> directories = {
                                                        "/run/lock", "/var/lock", "/tmp"});
  ~FlockCameraLock() override;
  FlockCameraLock(const FlockCameraLock&) = delete;
  FlockCameraLock& operator=(const FlockCameraLock&) = delete;

  LockOutcome Acquire(std::u16string_view devicePath, std::string* holder) override;
  void Release() override;

 private:
  std::string programName_;
  std::vector<std::string> directories_;
  int fd_ = -1;
};

// The lock file's name for a capture-device path: "velkor-camera-<port>.lock" with the USB port
// path (the "1-2.3" of interface "1-2.3:1.0"), or the whole path made safe when it has none.
std::string LockFileName(std::u16string_view devicePath);

}  // namespace velkor::linux_platform
