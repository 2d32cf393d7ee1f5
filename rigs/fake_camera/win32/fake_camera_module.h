// The fake camera DLL's process-wide parts: the one rig of the process, created at the first
// call, and the registrations that follow its presence schedule.
#pragma once

#include "platform/win32/windows_api.h"
#include "rigs/fake_camera/fake_camera_rig.h"

namespace velkor::fakecam {

// The class of the fake capture filter: {3F9A2C61-7B4E-4D1A-9C52-6E0B81D4A7F3}.
extern const CLSID kFakeCameraClsid;

// The rig, built from the configuration on first use.
FakeCameraRig& Rig();

// Brings the video-input registrations in line with the devices plugged in now; cheap when
// nothing changed since the last call.
void SyncRegistrations();

}  // namespace velkor::fakecam
