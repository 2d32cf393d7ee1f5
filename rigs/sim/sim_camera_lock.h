// The camera lock of a simulated world: kept in memory, with a switch that plays another program
// holding the camera, and a record of what this process took.
#pragma once

#include <string>

#include "platform/camera_lock.h"

namespace velkor::sim {

class SimCameraLock : public CameraLock {
 public:
  // From now on another program holds every camera; a refused Acquire names it as holder.
  void HoldElsewhere(std::string holder) { elsewhere_ = std::move(holder); }

  LockOutcome Acquire(std::u16string_view devicePath, std::string* holder) override;
  void Release() override { held_ = false; }

  bool held() const { return held_; }
  const std::u16string& path() const { return path_; }
  int acquisitions() const { return acquisitions_; }

 private:
  std::string elsewhere_;
  bool held_ = false;
  std::u16string path_;
  int acquisitions_ = 0;
};

}  // namespace velkor::sim
