// Taking the camera lock before anything is sent to a camera: the listing that finds the target
// already identifies each device with requests, so the lock is taken on the first device path
// that carries the camera's USB id, read from the capture system without a request.
#pragma once

#include <string>
#include <vector>

namespace velkor::app {

// The video-input devices' paths as the capture system lists them (no request to any device).
std::vector<std::u16string> CaptureDevicePaths();

// Takes the installed camera lock on the first path that carries the camera's USB id, for the
// life of the process. False only when another program holds it; true as well when there is no
// lock port, no such path (the update then fails to open, as without a lock) or no place for a
// lock at all.
bool LockCamera();

}  // namespace velkor::app
