// Capture-system adapter on V4L2 and uvcvideo: the video-capture nodes of USB cameras as
// video-input devices, each with a Windows-style "DevicePath" that is stable per USB port.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/capture_system.h"
#include "platform/linux/uvc_device_io.h"

namespace velkor::linux_platform {

struct UvcLocations {
  std::string sysfsRoot = "/sys";
  std::string deviceRoot = "/dev";
};

// One video-capture node found in sysfs.
struct UvcCaptureNode {
  std::string nodeName;       // "video0"
  std::string interfaceName;  // the VideoControl interface's sysfs name, "1-2:1.0"
  std::string usbDevicePath;  // sysfs directory of the USB device
  int interfaceNumber = 0;    // bInterfaceNumber
  std::u16string devicePath;  // \\?\usb#vid_xxxx&pid_xxxx&mi_xx#<interface>#{category}\global
  std::string friendlyName;   // the node's "name" attribute (the driver's card name)
  std::string serialNumber;   // the USB device's "serial" attribute; empty when it has none
};

// The "DevicePath" of a camera interface, lower case as Windows writes it.
std::u16string ComposeDevicePath(unsigned vendorId, unsigned productId, int interfaceNumber,
                                 const std::string& interfaceName);

// The video-capture nodes of USB interfaces, ordered by interface name and node number.
// Metadata-only nodes and nodes that cannot be opened are left out.
std::vector<UvcCaptureNode> FindCaptureNodes(UvcDeviceIo& io, const UvcLocations& locations);

class UvcCaptureSystem : public CaptureSystem {
 public:
  UvcCaptureSystem(UvcDeviceIo& io, UvcLocations locations)
      : io_(io), locations_(std::move(locations)) {}

  // There is no COM here; the session calls only count per thread so that they answer as
  // CoInitialize and CoUninitialize do (S_OK first, S_FALSE when already begun).
  HResult BeginSession() override;
  void EndSession() override;
  HResult CreateSystemDeviceEnumerator(std::unique_ptr<SystemDeviceEnumerator>* e) override;

 private:
  UvcDeviceIo& io_;
  UvcLocations locations_;
};

}  // namespace velkor::linux_platform
