// SimCameraLock: the held flag and the refusal when another program plays the holder.
#include "rigs/sim/sim_camera_lock.h"

namespace velkor::sim {

LockOutcome SimCameraLock::Acquire(std::u16string_view devicePath, std::string* holder) {
  if (!elsewhere_.empty()) {
    if (holder != nullptr) {
      *holder = elsewhere_;
    }
    return LockOutcome::kBusy;
  }
  if (held_) {
    return LockOutcome::kBusy;  // a second lock in one process is a mistake of the caller
  }
  held_ = true;
  path_ = devicePath;
  ++acquisitions_;
  return LockOutcome::kAcquired;
}

}  // namespace velkor::sim
