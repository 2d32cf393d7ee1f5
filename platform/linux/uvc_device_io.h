// The seam between the uvcvideo adapter and the kernel: opening video nodes and issuing
// ioctls on them. Tests put a fake behind it; the updater uses SystemDeviceIo.
#pragma once

#include <string>

namespace velkor::linux_platform {

class UvcDeviceIo {
 public:
  virtual ~UvcDeviceIo() = default;
  // Opens a video node for reading and writing: a descriptor (0 or more) or -errno.
  virtual int Open(const std::string& path) = 0;
  // ioctl(fd, request, arg): 0 or more on success, -errno on failure.
  virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
  virtual void Close(int fd) = 0;
};

// The real kernel interface.
class SystemDeviceIo : public UvcDeviceIo {
 public:
  int Open(const std::string& path) override;
  int Ioctl(int fd, unsigned long request, void* arg) override;
  void Close(int fd) override;
};

}  // namespace velkor::linux_platform
