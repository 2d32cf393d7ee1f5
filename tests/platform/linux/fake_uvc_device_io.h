// A fake kernel behind the uvcvideo seam: video nodes with their V4L2 capabilities, and
// extension-unit queries answered by a handler the test installs. Records every query.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <linux/uvcvideo.h>
#include <linux/videodev2.h>

#include "platform/linux/uvc_device_io.h"

namespace velkor::linux_platform::testing {

struct RecordedQuery {
  std::uint8_t unit;
  std::uint8_t selector;
  std::uint8_t query;
  std::uint16_t size;
  std::vector<std::uint8_t> sent;  // the buffer as handed to the driver
};

class FakeUvcDeviceIo : public UvcDeviceIo {
 public:
  // Answers an extension-unit query: 0, or the errno the driver would set.
  using QueryHandler =
      std::function<int(std::uint8_t unit, std::uint8_t selector, std::uint8_t query,
                        std::uint16_t size, std::uint8_t* data)>;

  void AddNode(const std::string& path, std::uint32_t deviceCaps) { nodes_[path] = deviceCaps; }
  void FailOpen(const std::string& path, int error) { openErrors_[path] = error; }
  void SetQueryHandler(QueryHandler handler) { handler_ = std::move(handler); }

  int Open(const std::string& path) override {
    if (auto error = openErrors_.find(path); error != openErrors_.end()) {
      return -error->second;
    }
    auto node = nodes_.find(path);
    if (node == nodes_.end()) {
      return -ENOENT;
    }
    int fd = nextFd_++;
    open_[fd] = path;
    return fd;
  }

  int Ioctl(int fd, unsigned long request, void* arg) override {
    auto file = open_.find(fd);
    if (file == open_.end()) {
      return -EBADF;
    }
    if (request == VIDIOC_QUERYCAP) {
      auto* caps = static_cast<v4l2_capability*>(arg);
      std::memset(caps, 0, sizeof(*caps));
      caps->device_caps = nodes_[file->second];
      caps->capabilities =
          caps->device_caps | V4L2_CAP_DEVICE_CAPS | V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE;
      return 0;
    }
    if (request == UVCIOC_CTRL_QUERY) {
      auto* q = static_cast<uvc_xu_control_query*>(arg);
      if (recordQueries) {
        queries.push_back({q->unit, q->selector, q->query, q->size,
                           std::vector<std::uint8_t>(q->data, q->data + q->size)});
      }
      int error = handler_ ? handler_(q->unit, q->selector, q->query, q->size, q->data) : ENOENT;
      return error == 0 ? 0 : -error;
    }
    return -ENOTTY;
  }

  void Close(int fd) override { open_.erase(fd); }

  std::size_t OpenFiles() const { return open_.size(); }

  std::vector<RecordedQuery> queries;
  // Whole updates send tens of thousands of queries, and millions once waits spin on an
  // unplugged camera: they switch the record off.
  bool recordQueries = true;

 private:
  std::map<std::string, std::uint32_t> nodes_;
  std::map<std::string, int> openErrors_;
  std::map<int, std::string> open_;
  QueryHandler handler_;
  int nextFd_ = 3;
};

}  // namespace velkor::linux_platform::testing
