// Opening and closing the camera for the access library.
#pragma once

#include "access/access_context.h"

namespace velkor::access {

// Binds the capture device with this UTF-16 path, fills the table, identifies the chip.
// 2 = open, 0 = failure.
int OpenDevice(const char16_t* path, int length);
bool CloseDevice(DeviceIndex device);
bool CloseDevice();

}  // namespace velkor::access
