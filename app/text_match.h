// ASCII text comparisons without regard to letter case, and the camera's USB id text.
#pragma once

#include <cstddef>

namespace velkor::app {

// The camera's vendor and product id as it appears in hardware ids and device paths.
constexpr const char kCameraUsbId[] = "vid_5d1a&pid_c03e";
constexpr std::size_t kCameraUsbIdLength = sizeof(kCameraUsbId) - 1;  // 17

// True when the first count characters of a and b are equal ignoring ASCII letter case; a text
// that ends early only matches one that ends at the same place.
bool EqualsIgnoringCase(const char* a, const char* b, std::size_t count);

}  // namespace velkor::app
