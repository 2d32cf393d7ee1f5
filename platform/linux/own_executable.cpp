#include "platform/linux/own_executable.h"

#include <limits.h>
#include <unistd.h>

namespace velkor::linux_platform {

std::string OwnExecutablePath() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : "/proc/self/exe";
}

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
}

}  // namespace velkor::linux_platform
