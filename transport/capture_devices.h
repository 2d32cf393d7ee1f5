// Enumeration of the video-input devices, binding of the camera's capture filter, release.
#pragma once

#include "access/access_context.h"

namespace velkor::transport {

// paths: count entries of length UTF-16 characters. Lists the devices whose chip is identified.
bool ListCaptureDevices(char16_t* paths, int count, int length, int* counter);
bool BindCaptureDevice(access::DeviceIndex device, const char16_t* path, int length);
bool CloseDevice(access::DeviceIndex device);

}  // namespace velkor::transport
