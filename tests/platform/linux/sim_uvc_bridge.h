// Connects the fake uvcvideo seam to a simulated camera: extension-unit queries on the vendor
// unit become the camera's requests, with the driver's own checks (unit, bmControls, length)
// and errno faults in front of it. The errnos are those the real driver gave in the kernel rig.
#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>

#include <linux/usb/video.h>

#include "platform/hresult.h"
#include "rigs/sim/sim_camera.h"

namespace velkor::linux_platform::testing {

class SimUvcBridge {
 public:
  SimUvcBridge(std::shared_ptr<sim::SimCamera> camera, std::uint8_t vendorUnit)
      : camera_(std::move(camera)), vendorUnit_(vendorUnit) {}

  int failSelector = -1;  // answer every query on this selector with failErrno
  int failErrno = EIO;    // what uvcvideo answers for a stall the camera explains as invalid
  // After this many queries the camera is gone: the query in flight answers ESHUTDOWN, as the
  // host controller ends it, and every later one ENODEV, as the unregistered node does.
  std::uint32_t unplugAfter = 0;
  std::uint32_t queriesSeen = 0;

  int operator()(std::uint8_t unit, std::uint8_t selector, std::uint8_t query, std::uint16_t size,
                 std::uint8_t* data) {
    ++queriesSeen;
    if (unplugAfter != 0 && queriesSeen > unplugAfter) {
      return queriesSeen == unplugAfter + 1 ? ESHUTDOWN : ENODEV;
    }
    if (unit != vendorUnit_ || selector < 1 || selector > 5) {
      return ENOENT;  // no such unit, or the selector's bmControls bit is clear
    }
    if (size != ControlLength(selector)) {
      return ENOBUFS;
    }
    if (static_cast<int>(selector) == failSelector) {
      return failErrno;
    }
    std::uint32_t flags;
    if (query == UVC_SET_CUR) {
      flags = 0x10000002;
    } else if (query == UVC_GET_CUR) {
      flags = 0x10000001;
    } else {
      return EINVAL;
    }
    // Anything but a plain success is a stalled control transfer on the wire, which uvcvideo
    // turns into EIO once the camera's error-code control explains it.
    return camera_->HandleRequest(selector, flags, data, size) == hr::kOk ? 0 : EIO;
  }

 private:
  static std::uint16_t ControlLength(std::uint8_t selector) {
    return selector == 1 ? 4 : selector == 2 ? 8 : 12;
  }

  std::shared_ptr<sim::SimCamera> camera_;
  std::uint8_t vendorUnit_;
};

}  // namespace velkor::linux_platform::testing
