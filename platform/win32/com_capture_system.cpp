// Capture-system port on COM: each adapter wraps one interface pointer and forwards the calls
// the transport makes, answering the platform's HRESULT unchanged.
#include "platform/win32/com_capture_system.h"

#include <cstddef>
#include <cstring>

#include "platform/win32/com_adapters.h"

namespace velkor::win32 {
namespace {

static_assert(sizeof(KSP_NODE) == sizeof(KsPropertyNode), "KSP_NODE is 32 bytes");
static_assert(offsetof(KSP_NODE, NodeId) == offsetof(KsPropertyNode, nodeId));
static_assert(offsetof(KSP_NODE, Reserved) == offsetof(KsPropertyNode, reserved));
static_assert(sizeof(GUID) == sizeof(Guid));

// Owns one reference to a COM interface.
template <typename Interface>
class ComRef {
 public:
  explicit ComRef(Interface* pointer) : pointer_(pointer) {}
  ~ComRef() {
    if (pointer_ != nullptr) {
      pointer_->Release();
    }
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  Interface* operator->() const { return pointer_; }

 private:
  Interface* pointer_;
};

class ComKsControl : public KsControl {
 public:
  explicit ComKsControl(IKsControl* control) : control_(control) {}
  HResult KsProperty(const KsPropertyNode* property, std::uint32_t propertyLength, void* data,
                     std::uint32_t dataLength, std::uint32_t* bytesReturned) override {
    // The driver reads propertyLength bytes of the descriptor: never more than we hold.
    if (property == nullptr || propertyLength > sizeof(KSP_NODE)) {
      return hr::kInvalidArgument;
    }
    KSP_NODE node{};
    std::memcpy(&node.Property.Set, &property->set, sizeof(GUID));
    node.Property.Id = property->id;
    node.Property.Flags = property->flags;
    node.NodeId = property->nodeId;
    node.Reserved = property->reserved;
    ULONG returned = 0;
    const HRESULT result = control_->KsProperty(reinterpret_cast<PKSPROPERTY>(&node),
                                                propertyLength, data, dataLength, &returned);
    if (bytesReturned != nullptr) {
      *bytesReturned = returned;
    }
    return result;
  }

 private:
  ComRef<IKsControl> control_;
};

class ComKsTopology : public KsTopology {
 public:
  explicit ComKsTopology(IKsTopologyInfo* topology) : topology_(topology) {}
  HResult NumNodes(std::uint32_t* count) override {
    DWORD nodes = 0;
    const HRESULT result = topology_->get_NumNodes(&nodes);
    if (SUCCEEDED(result)) {
      *count = nodes;
    }
    return result;
  }
  HResult NodeType(std::uint32_t node, Guid* type) override {
    GUID value{};
    const HRESULT result = topology_->get_NodeType(node, &value);
    if (SUCCEEDED(result)) {
      std::memcpy(type, &value, sizeof(Guid));
    }
    return result;
  }
  HResult CreateNodeControl(std::uint32_t node, std::unique_ptr<KsControl>* control) override {
    IKsControl* nodeControl = nullptr;
    const HRESULT result =
        topology_->CreateNodeInstance(node, IID_IKsControl, reinterpret_cast<void**>(&nodeControl));
    if (nodeControl != nullptr) {
      *control = std::make_unique<ComKsControl>(nodeControl);
    }
    return result;
  }

 private:
  ComRef<IKsTopologyInfo> topology_;
};

class ComCaptureFilter : public CaptureFilter {
 public:
  explicit ComCaptureFilter(IBaseFilter* filter) : filter_(filter) {}
  HResult QueryControl(std::unique_ptr<KsControl>* control) override {
    IKsControl* pointer = nullptr;
    const HRESULT result =
        filter_->QueryInterface(IID_IKsControl, reinterpret_cast<void**>(&pointer));
    if (pointer != nullptr) {
      *control = std::make_unique<ComKsControl>(pointer);
    }
    return result;
  }
  HResult QueryTopology(std::unique_ptr<KsTopology>* topology) override {
    IKsTopologyInfo* pointer = nullptr;
    const HRESULT result =
        filter_->QueryInterface(__uuidof(IKsTopologyInfo), reinterpret_cast<void**>(&pointer));
    if (pointer != nullptr) {
      *topology = std::make_unique<ComKsTopology>(pointer);
    }
    return result;
  }

 private:
  ComRef<IBaseFilter> filter_;
};

class ComPropertyBag : public PropertyBag {
 public:
  explicit ComPropertyBag(IPropertyBag* bag) : bag_(bag) {}
  HResult ReadDevicePath(std::u16string* path) override { return ReadText(L"DevicePath", path); }
  HResult ReadFriendlyName(std::u16string* name) override {
    return ReadText(L"FriendlyName", name);
  }

 private:
  HResult ReadText(const wchar_t* property, std::u16string* path) {
    // Zeroed whole: before Windows 8.1 VariantInit sets only the type, and a Read that fails
    // without touching the variant would leave VariantClear freeing a stack pointer.
    VARIANT value{};
    VariantInit(&value);
    value.vt = VT_BSTR;
    HRESULT result = bag_->Read(property, &value, nullptr);
    if (result == S_OK) {
      if (value.vt != VT_BSTR) {
        // Never read the union as a string when the bag answered with another type.
        result = DISP_E_TYPEMISMATCH;
      } else if (value.bstrVal == nullptr) {
        path->clear();
      } else {
        // wchar_t and char16_t are both UTF-16 code units on Windows.
        path->assign(reinterpret_cast<const char16_t*>(value.bstrVal), SysStringLen(value.bstrVal));
      }
    }
    VariantClear(&value);
    return result;
  }

  ComRef<IPropertyBag> bag_;
};

class ComCaptureDevice : public CaptureDevice {
 public:
  explicit ComCaptureDevice(IMoniker* moniker) : moniker_(moniker) {}
  HResult BindToStorage(std::unique_ptr<PropertyBag>* bag) override {
    IPropertyBag* pointer = nullptr;
    const HRESULT result = moniker_->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                                   reinterpret_cast<void**>(&pointer));
    if (pointer != nullptr) {
      *bag = std::make_unique<ComPropertyBag>(pointer);
    }
    return result;
  }
  HResult BindToObject(std::unique_ptr<CaptureFilter>* filter) override {
    IBaseFilter* pointer = nullptr;
    const HRESULT result = moniker_->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                  reinterpret_cast<void**>(&pointer));
    if (pointer != nullptr) {
      *filter = std::make_unique<ComCaptureFilter>(pointer);
    }
    return result;
  }

 private:
  ComRef<IMoniker> moniker_;
};

class ComDeviceEnumerator : public CaptureDeviceEnumerator {
 public:
  explicit ComDeviceEnumerator(IEnumMoniker* monikers) : monikers_(monikers) {}
  HResult Reset() override { return monikers_->Reset(); }
  HResult Next(std::unique_ptr<CaptureDevice>* device) override {
    IMoniker* moniker = nullptr;
    ULONG fetched = 0;
    const HRESULT result = monikers_->Next(1, &moniker, &fetched);
    if (moniker != nullptr) {
      *device = std::make_unique<ComCaptureDevice>(moniker);
    }
    return result;
  }

 private:
  ComRef<IEnumMoniker> monikers_;
};

class ComSystemDeviceEnumerator : public SystemDeviceEnumerator {
 public:
  explicit ComSystemDeviceEnumerator(ICreateDevEnum* devices) : devices_(devices) {}
  HResult CreateVideoInputEnumerator(std::unique_ptr<CaptureDeviceEnumerator>* e) override {
    IEnumMoniker* monikers = nullptr;
    const HRESULT result =
        devices_->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0);
    if (monikers != nullptr) {
      *e = std::make_unique<ComDeviceEnumerator>(monikers);
    }
    return result;
  }

 private:
  ComRef<ICreateDevEnum> devices_;
};

}  // namespace

std::unique_ptr<CaptureFilter> WrapCaptureFilter(IBaseFilter* filter) {
  return std::make_unique<ComCaptureFilter>(filter);
}

std::unique_ptr<PropertyBag> WrapPropertyBag(IPropertyBag* bag) {
  return std::make_unique<ComPropertyBag>(bag);
}

std::unique_ptr<KsControl> WrapKsControl(IKsControl* control) {
  return std::make_unique<ComKsControl>(control);
}

HResult ComCaptureSystem::BeginSession() {
  return CoInitialize(nullptr);
}

void ComCaptureSystem::EndSession() {
  CoUninitialize();
}

HResult ComCaptureSystem::CreateSystemDeviceEnumerator(std::unique_ptr<SystemDeviceEnumerator>* e) {
  ICreateDevEnum* devices = nullptr;
  const HRESULT result = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_ICreateDevEnum, reinterpret_cast<void**>(&devices));
  if (devices != nullptr) {
    *e = std::make_unique<ComSystemDeviceEnumerator>(devices);
  }
  return result;
}

}  // namespace velkor::win32
