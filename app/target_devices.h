// Finding the camera among the video-input devices: list their paths and pick the first one
// that carries the camera's USB id.
#pragma once

#include "app/velkor_dlg.h"

namespace velkor::app {

// Fills the dialog's DevicePathList and NarrowPathList and sets TargetIndex (-1: none).
void FindTargetDevices(CVelkorDlg* dialog);

// The scan after the listing: converts the first counter entries of DevicePathList, stopping
// at the first empty one, and sets TargetIndex to the first that carries the camera's USB id.
// A counter beyond the list's capacity is taken as the capacity.
void ChooseTargetEntry(CVelkorDlg* dialog, int counter);

// True when one of the path's "#"-separated fields begins with the camera's USB id, in any
// letter case.
bool PathCarriesTargetId(const char* path);

// Copies a UTF-16 path into narrow text, at most capacity - 1 characters plus the terminator;
// characters outside ASCII become '?'.
void NarrowPath(const char16_t* wide, char* narrow, int capacity);

}  // namespace velkor::app
