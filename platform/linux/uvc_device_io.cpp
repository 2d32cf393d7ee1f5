// The real kernel side of the uvcvideo seam: open(2), ioctl(2) and close(2).
#include "platform/linux/uvc_device_io.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace velkor::linux_platform {

int SystemDeviceIo::Open(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd < 0 ? -errno : fd;
}

int SystemDeviceIo::Ioctl(int fd, unsigned long request, void* arg) {
  // uvcvideo answers EINTR only while waiting for its control lock, before anything reaches
  // the device, so repeating the call cannot send a request twice.
  int result;
  do {
    result = ::ioctl(fd, request, arg);
  } while (result < 0 && errno == EINTR);
  return result < 0 ? -errno : result;
}

void SystemDeviceIo::Close(int fd) {
  ::close(fd);
}

}  // namespace velkor::linux_platform
