// This program's own executable and the host's name: the station runs the program again, once
// per camera, and records where it ran.
#pragma once

#include <string>

namespace velkor::linux_platform {

std::string OwnExecutablePath();  // /proc/self/exe resolved; "/proc/self/exe" if it cannot be
std::string HostName();           // empty when unknown

}  // namespace velkor::linux_platform
