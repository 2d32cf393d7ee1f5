// Capture-system port: the COM-style video-capture stack (DirectShow enumeration, the capture
// filter, kernel-streaming topology and property requests) as the transport uses it.
//
// Each interface maps one to one onto a COM interface of the Windows capture stack; every
// method answers an HResult exactly as its COM counterpart would. Objects handed out through
// std::unique_ptr hold one reference: destroying the pointer is the COM Release.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/guid.h"
#include "platform/hresult.h"

namespace velkor {

// KSPROPERTY flag bits used by the transport.
namespace ks {
constexpr std::uint32_t kTypeGet = 0x00000001;
constexpr std::uint32_t kTypeSet = 0x00000002;
constexpr std::uint32_t kTypeSetSupport = 0x00000100;
constexpr std::uint32_t kTypeTopology = 0x10000000;
}  // namespace ks

// KSP_NODE: a KSPROPERTY (Set, Id, Flags) followed by NodeId and Reserved; 32 bytes on every
// platform. Property.Id is the extension unit's control selector.
struct KsPropertyNode {
  Guid set;
  std::uint32_t id;
  std::uint32_t flags;
  std::uint32_t nodeId;
  std::uint32_t reserved;
};
static_assert(sizeof(KsPropertyNode) == 32, "KSP_NODE is 32 bytes");

// IKsControl.
class KsControl {
 public:
  virtual ~KsControl() = default;
  // IKsControl::KsProperty. For a GET the reply is written into data; for a SET data is sent.
  // data may be null with dataLength 0 (the set-support probe).
  virtual HResult KsProperty(const KsPropertyNode* property, std::uint32_t propertyLength,
                             void* data, std::uint32_t dataLength,
                             std::uint32_t* bytesReturned) = 0;
};

// IKsTopologyInfo, the three methods the transport uses.
class KsTopology {
 public:
  virtual ~KsTopology() = default;
  virtual HResult NumNodes(std::uint32_t* count) = 0;
  virtual HResult NodeType(std::uint32_t node, Guid* type) = 0;
  // CreateNodeInstance(node, IID_IKsControl).
  virtual HResult CreateNodeControl(std::uint32_t node, std::unique_ptr<KsControl>* control) = 0;
};

// IBaseFilter of a bound video-input device; only QueryInterface is used.
class CaptureFilter {
 public:
  virtual ~CaptureFilter() = default;
  virtual HResult QueryControl(std::unique_ptr<KsControl>* control) = 0;     // IID_IKsControl
  virtual HResult QueryTopology(std::unique_ptr<KsTopology>* topology) = 0;  // IID_IKsTopologyInfo
};

// IPropertyBag of one device.
class PropertyBag {
 public:
  virtual ~PropertyBag() = default;
  // IPropertyBag::Read("DevicePath") into a VT_BSTR variant.
  virtual HResult ReadDevicePath(std::u16string* path) = 0;
  // IPropertyBag::Read("FriendlyName"): the name a device list shows. Only listing tools ask
  // for it; a bag without a name answers kNotImplemented.
  virtual HResult ReadFriendlyName(std::u16string* /*name*/) { return hr::kNotImplemented; }
  // The USB device's serial number string, where the system names it (sysfs does; DirectShow's
  // bag has no such property). The station records it; a bag without one answers
  // kNotImplemented, a device without one kNotFound.
  virtual HResult ReadSerialNumber(std::u16string* /*serial*/) { return hr::kNotImplemented; }
};

// IMoniker of one video-input device.
class CaptureDevice {
 public:
  virtual ~CaptureDevice() = default;
  virtual HResult BindToStorage(std::unique_ptr<PropertyBag>* bag) = 0;      // IID_IPropertyBag
  virtual HResult BindToObject(std::unique_ptr<CaptureFilter>* filter) = 0;  // IID_IBaseFilter
};

// IEnumMoniker over the video-input category.
class CaptureDeviceEnumerator {
 public:
  virtual ~CaptureDeviceEnumerator() = default;
  virtual HResult Reset() = 0;
  // Next(1, ...): kOk with *device set, or kFalse when there are no more devices.
  virtual HResult Next(std::unique_ptr<CaptureDevice>* device) = 0;
};

// ICreateDevEnum (the system device enumerator).
class SystemDeviceEnumerator {
 public:
  virtual ~SystemDeviceEnumerator() = default;
  // CreateClassEnumerator(CLSID_VideoInputDeviceCategory, ..., 0). kFalse for an empty category.
  virtual HResult CreateVideoInputEnumerator(std::unique_ptr<CaptureDeviceEnumerator>* e) = 0;
};

// The process's view of COM and the device enumerator.
class CaptureSystem {
 public:
  virtual ~CaptureSystem() = default;
  virtual HResult BeginSession() = 0;  // CoInitialize(nullptr) on the calling thread
  virtual void EndSession() = 0;       // CoUninitialize on the calling thread
  // CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum).
  virtual HResult CreateSystemDeviceEnumerator(std::unique_ptr<SystemDeviceEnumerator>* e) = 0;
};

}  // namespace velkor
