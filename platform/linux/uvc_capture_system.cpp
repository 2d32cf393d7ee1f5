// Capture-system adapter on V4L2 and uvcvideo: enumeration, property bag and binding.
#include "platform/linux/uvc_capture_system.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include <linux/videodev2.h>

#include "platform/linux/sysfs_attributes.h"
#include "platform/linux/uvc_ks_control.h"

namespace velkor::linux_platform {
namespace {

namespace fs = std::filesystem;

// The whole descriptor set of a device is a few kilobytes; this bounds a corrupt attribute.
constexpr std::size_t kMaxDescriptorBytes = 64 * 1024;

thread_local int sessionDepth = 0;

bool IsCaptureNode(UvcDeviceIo& io, const std::string& path) {
  int fd = io.Open(path);
  if (fd < 0) {
    return false;
  }
  v4l2_capability caps{};
  bool capture = false;
  if (io.Ioctl(fd, VIDIOC_QUERYCAP, &caps) >= 0) {
    // device_caps describes this node alone; capabilities covers every node of the device.
    std::uint32_t nodeCaps =
        (caps.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? caps.device_caps : caps.capabilities;
    capture = (nodeCaps & V4L2_CAP_VIDEO_CAPTURE) != 0;
  }
  io.Close(fd);
  return capture;
}

int NodeNumber(const std::string& nodeName) {
  return std::atoi(nodeName.c_str() + std::string("video").size());
}

class UvcPropertyBag : public PropertyBag {
 public:
  UvcPropertyBag(std::u16string path, const std::string& name, const std::string& serial)
      : path_(std::move(path)),
        name_(name.begin(), name.end()),
        serial_(serial.begin(), serial.end()) {}
  HResult ReadDevicePath(std::u16string* path) override {
    if (path == nullptr) {
      return hr::kInvalidArgument;
    }
    *path = path_;
    return hr::kOk;
  }
  HResult ReadFriendlyName(std::u16string* name) override {
    if (name == nullptr) {
      return hr::kInvalidArgument;
    }
    if (name_.empty()) {
      return hr::kNotFound;
    }
    *name = name_;
    return hr::kOk;
  }
  HResult ReadSerialNumber(std::u16string* serial) override {
    if (serial == nullptr) {
      return hr::kInvalidArgument;
    }
    if (serial_.empty()) {
      return hr::kNotFound;
    }
    *serial = serial_;
    return hr::kOk;
  }

 private:
  std::u16string path_;
  std::u16string name_;  // bytes widened one to one; the tool prints it back the same way
  std::u16string serial_;
};

class UvcCaptureDevice : public CaptureDevice {
 public:
  UvcCaptureDevice(UvcDeviceIo& io, const UvcLocations& locations, UvcCaptureNode node)
      : io_(io), locations_(locations), node_(std::move(node)) {}

  HResult BindToStorage(std::unique_ptr<PropertyBag>* bag) override {
    if (bag == nullptr) {
      return hr::kInvalidArgument;
    }
    *bag =
        std::make_unique<UvcPropertyBag>(node_.devicePath, node_.friendlyName, node_.serialNumber);
    return hr::kOk;
  }

  // Binding opens the node and reads the interface's topology from the USB descriptors.
  HResult BindToObject(std::unique_ptr<CaptureFilter>* filter) override {
    if (filter == nullptr) {
      return hr::kInvalidArgument;
    }
    int fd = io_.Open((fs::path(locations_.deviceRoot) / node_.nodeName).string());
    if (fd < 0) {
      return HResultFromErrno(-fd);
    }
    auto camera = std::make_shared<UvcBoundCamera>();
    camera->node = std::make_shared<UvcOpenNode>(io_, fd);
    const fs::path usbDevice(node_.usbDevicePath);
    std::optional<std::vector<std::uint8_t>> descriptors =
        ReadBinaryAttribute(usbDevice / "descriptors", kMaxDescriptorBytes);
    if (descriptors) {
      std::optional<std::uint32_t> configuration =
          ReadDecimalAttribute(usbDevice / "bConfigurationValue");
      camera->topology = TopologyFromEntities(
          ParseVideoControlEntities(descriptors->data(), descriptors->size(), node_.interfaceNumber,
                                    configuration ? static_cast<int>(*configuration) : -1));
    }
    *filter = std::make_unique<UvcCaptureFilter>(std::move(camera));
    return hr::kOk;
  }

 private:
  UvcDeviceIo& io_;
  const UvcLocations& locations_;
  UvcCaptureNode node_;
};

class UvcDeviceEnumerator : public CaptureDeviceEnumerator {
 public:
  UvcDeviceEnumerator(UvcDeviceIo& io, const UvcLocations& locations,
                      std::vector<UvcCaptureNode> nodes)
      : io_(io), locations_(locations), nodes_(std::move(nodes)) {}

  HResult Reset() override {
    next_ = 0;
    return hr::kOk;
  }
  HResult Next(std::unique_ptr<CaptureDevice>* device) override {
    if (device == nullptr) {
      return hr::kInvalidArgument;
    }
    if (next_ >= nodes_.size()) {
      return hr::kFalse;
    }
    *device = std::make_unique<UvcCaptureDevice>(io_, locations_, nodes_[next_++]);
    return hr::kOk;
  }

 private:
  UvcDeviceIo& io_;
  const UvcLocations& locations_;
  std::vector<UvcCaptureNode> nodes_;
  std::size_t next_ = 0;
};

class UvcSystemDeviceEnumerator : public SystemDeviceEnumerator {
 public:
  UvcSystemDeviceEnumerator(UvcDeviceIo& io, const UvcLocations& locations)
      : io_(io), locations_(locations) {}

  HResult CreateVideoInputEnumerator(std::unique_ptr<CaptureDeviceEnumerator>* e) override {
    if (e == nullptr) {
      return hr::kInvalidArgument;
    }
    std::vector<UvcCaptureNode> nodes = FindCaptureNodes(io_, locations_);
    if (nodes.empty()) {
      return hr::kFalse;  // an empty category, as the platform answers it
    }
    *e = std::make_unique<UvcDeviceEnumerator>(io_, locations_, std::move(nodes));
    return hr::kOk;
  }

 private:
  UvcDeviceIo& io_;
  const UvcLocations& locations_;
};

}  // namespace

std::u16string ComposeDevicePath(unsigned vendorId, unsigned productId, int interfaceNumber,
                                 const std::string& interfaceName) {
  char ids[64];
  std::snprintf(ids, sizeof(ids), "usb#vid_%04x&pid_%04x&mi_%02x#", vendorId & 0xFFFFu,
                productId & 0xFFFFu, static_cast<unsigned>(interfaceNumber) & 0xFFu);
  std::string path = std::string("\\\\?\\") + ids;
  for (char c : interfaceName) {
    path += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  // The video-capture device category, as in every Windows capture device path.
  path += "#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
  return std::u16string(path.begin(), path.end());
}

std::vector<UvcCaptureNode> FindCaptureNodes(UvcDeviceIo& io, const UvcLocations& locations) {
  const fs::path classDir = fs::path(locations.sysfsRoot) / "class" / "video4linux";
  std::vector<UvcCaptureNode> nodes;
  for (const std::string& name : ListDirectorySorted(classDir)) {
    if (name.rfind("video", 0) != 0) {
      continue;
    }
    // The node's device is the VideoControl interface; its parent is the USB device.
    std::optional<fs::path> interfaceDir = ResolvePath(classDir / name / "device");
    if (!interfaceDir) {
      continue;
    }
    std::optional<std::uint32_t> interfaceNumber =
        ReadHexAttribute(*interfaceDir / "bInterfaceNumber");
    const fs::path usbDevice = interfaceDir->parent_path();
    std::optional<std::uint32_t> vendor = ReadHexAttribute(usbDevice / "idVendor");
    std::optional<std::uint32_t> product = ReadHexAttribute(usbDevice / "idProduct");
    if (!interfaceNumber || !vendor || !product) {
      continue;  // not a USB camera: no uvcvideo extension units to reach
    }
    if (!IsCaptureNode(io, (fs::path(locations.deviceRoot) / name).string())) {
      continue;
    }
    UvcCaptureNode node;
    node.nodeName = name;
    node.interfaceName = interfaceDir->filename().string();
    node.usbDevicePath = usbDevice.string();
    node.interfaceNumber = static_cast<int>(*interfaceNumber);
    node.devicePath =
        ComposeDevicePath(*vendor, *product, node.interfaceNumber, node.interfaceName);
    node.friendlyName = ReadTextAttribute(classDir / name / "name").value_or("");
    node.serialNumber = ReadTextAttribute(usbDevice / "serial").value_or("");
    nodes.push_back(std::move(node));
  }
  // /dev/videoN numbers follow plug order; the interface name follows the port.
  std::stable_sort(nodes.begin(), nodes.end(),
                   [](const UvcCaptureNode& a, const UvcCaptureNode& b) {
                     if (a.interfaceName != b.interfaceName) {
                       return a.interfaceName < b.interfaceName;
                     }
                     return NodeNumber(a.nodeName) < NodeNumber(b.nodeName);
                   });
  return nodes;
}

HResult UvcCaptureSystem::BeginSession() {
  return sessionDepth++ == 0 ? hr::kOk : hr::kFalse;
}

void UvcCaptureSystem::EndSession() {
  if (sessionDepth > 0) {
    --sessionDepth;
  }
}

HResult UvcCaptureSystem::CreateSystemDeviceEnumerator(std::unique_ptr<SystemDeviceEnumerator>* e) {
  if (e == nullptr) {
    return hr::kInvalidArgument;
  }
  *e = std::make_unique<UvcSystemDeviceEnumerator>(io_, locations_);
  return hr::kOk;
}

}  // namespace velkor::linux_platform
