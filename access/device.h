// Opening and closing the camera for the access library.
#pragma once

#include "access/access_context.h"

namespace velkor::access {

// Binds the capture device with this UTF-16 path, fills the table, identifies the chip.
// 2 = open, 0 = failure.
int OpenDevice(const char16_t* path, int length);
// Lists the paths of the capture devices whose chip the table knows: count entries of length
// UTF-16 characters, the number stored in *counter. True when at least one was stored.
bool ListCaptureDevices(char16_t* paths, int count, int length, int* counter);
// Matches the chip behind the device that the transport has bound, reading through the
// transport directly: the bind asks before the access table is filled.
bool MatchBoundChip();
bool CloseDevice(DeviceIndex device);
bool CloseDevice();

}  // namespace velkor::access
