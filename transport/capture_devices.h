// Enumeration of the video-input devices, binding of the camera's capture filter, release.
#pragma once

#include "transport/bound_device.h"

namespace velkor::transport {

// Decides whether the chip behind the bound filter is a known one. It runs with the filter bound
// and the extension unit's node set, and reads through TransferMemory; the caller, which knows
// the chips, supplies it. Null identifies nothing.
using IdentifyBoundFn = bool (*)();

// paths: count entries of length UTF-16 characters. Lists the devices whose chip is identified.
bool ListCaptureDevices(char16_t* paths, int count, int length, int* counter,
                        IdentifyBoundFn identify);
bool BindCaptureDevice(DeviceIndex device, const char16_t* path, int length,
                       IdentifyBoundFn identify);
bool CloseDevice(DeviceIndex device);

}  // namespace velkor::transport
