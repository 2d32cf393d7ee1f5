// Listing the capture devices and choosing the camera's entry by its device path.
#include "app/target_devices.h"

#include <cstring>

#include "access/device.h"
#include "app/app_state.h"
#include "app/text_match.h"

namespace velkor::app {

void NarrowPath(const char16_t* wide, char* narrow, int capacity) {
  int i = 0;
  for (; i < capacity - 1 && wide[i] != u'\0'; ++i) {
    narrow[i] = wide[i] < 0x80 ? static_cast<char>(wide[i]) : '?';
  }
  narrow[i] = '\0';
}

bool PathCarriesTargetId(const char* path) {
  const char* field = path;
  while (*field != '\0') {
    const char* end = std::strchr(field, '#');
    if (end == nullptr) {
      end = field + std::strlen(field);
    }
    // The id must begin the field; a field shorter than the id ends early and does not match.
    if (end - field >= static_cast<std::ptrdiff_t>(kCameraUsbIdLength) &&
        EqualsIgnoringCase(field, kCameraUsbId, kCameraUsbIdLength)) {
      return true;
    }
    field = *end == '#' ? end + 1 : end;
  }
  return false;
}

void FindTargetDevices(CVelkorDlg* dialog) {
  for (int i = 0; i < kPathCount; ++i) {
    dialog->DevicePathList[i][0] = u'\0';
    dialog->NarrowPathList[i][0] = '\0';
  }
  int counter = 0;
  access::ListCaptureDevices(&dialog->DevicePathList[0][0], kPathCount, kPathLength, &counter);
  ChooseTargetEntry(dialog, counter);
}

void ChooseTargetEntry(CVelkorDlg* dialog, int counter) {
  TargetIndex = -1;
  if (counter <= 0) {
    return;
  }
  // A counter beyond the list's capacity is not trusted past the last entry.
  const int filled = counter < kPathCount ? counter : kPathCount;
  for (int i = 0; i < filled && dialog->DevicePathList[i][0] != u'\0'; ++i) {
    NarrowPath(dialog->DevicePathList[i], dialog->NarrowPathList[i], kPathLength);
    if (TargetIndex == -1 && PathCarriesTargetId(dialog->NarrowPathList[i])) {
      TargetIndex = i;
    }
  }
}

}  // namespace velkor::app
