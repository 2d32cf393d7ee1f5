// The registry entries through which the system's device enumerator finds the fake camera:
// the COM class of the filter and one video-input Instance key per plugged-in device.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/windows_api.h"
#include "rigs/fake_camera/fake_camera_rig.h"

namespace velkor::fakecam {

// Registers the filter class: InprocServer32 = modulePath, ThreadingModel "Both" (a caller in
// the multithreaded apartment then gets our objects directly, without marshalling).
bool RegisterFilterClass(const CLSID& clsid, const std::wstring& modulePath);

// Writes the Instance key of each present device (CLSID, FriendlyName, DevicePath) and deletes
// those of absent ones. The keys are written in the calling process's registry view.
void WriteDeviceRegistrations(const CLSID& clsid, const std::vector<CaptureDeviceEntry>& devices);

}  // namespace velkor::fakecam
