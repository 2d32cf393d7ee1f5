// The fake capture filter: a video-capture filter as the kernel-streaming proxy presents a USB
// camera. It learns which device it is from the DevicePath in the property bag that the
// device enumerator hands to IPersistPropertyBag::Load, and sends every property request to
// the rig. Pins are not modelled: the updater never builds a graph.
#include "rigs/fake_camera/win32/capture_filter.h"

#include <atomic>
#include <cstring>
#include <string>

#include "rigs/fake_camera/win32/fake_camera_module.h"

namespace velkor::fakecam {
namespace {

// Objects alive now, by kind: what the program still holds when it ends.
enum Kind { kFilter, kNodeControl, kFactory, kKinds };
std::atomic<int> liveObjects[kKinds];
std::atomic<int> createdObjects[kKinds];

// Reference counting shared by every object here. The DLL is never unloaded before the process
// ends (the rig lives until then), so no object or lock count keeps it loaded.
class RefCounted {
 public:
  explicit RefCounted(Kind kind) : kind_(kind) {
    ++liveObjects[kind];
    ++createdObjects[kind];
  }
  virtual ~RefCounted() { --liveObjects[kind_]; }
  ULONG AddRef() { return ++count_; }
  ULONG Release() {
    const ULONG left = --count_;
    if (left == 0) {
      delete this;
    }
    return left;
  }

 private:
  Kind kind_;
  std::atomic<ULONG> count_{1};
};

HRESULT KsAnswer(int device, int node, PKSPROPERTY property, ULONG propertyLength, LPVOID data,
                 ULONG dataLength, ULONG* bytesReturned) {
  std::uint32_t returned = 0;
  const HResult result =
      Rig().KsProperty(device, node, property, propertyLength, data, dataLength, &returned);
  if (bytesReturned != nullptr) {
    *bytesReturned = returned;
  }
  // An unplug shows in the next enumeration: the registrations follow at once.
  SyncRegistrations();
  return result;
}

// The control of one topology node, from IKsTopologyInfo::CreateNodeInstance.
class NodeControl final : public IKsControl, public RefCounted {
 public:
  NodeControl(int device, std::uint32_t node)
      : RefCounted(kNodeControl), device_(device), node_(node) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) {
      return E_POINTER;
    }
    if (iid == IID_IUnknown || iid == IID_IKsControl) {
      *out = static_cast<IKsControl*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return RefCounted::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return RefCounted::Release(); }

  HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength, LPVOID data,
                                       ULONG dataLength, ULONG* bytesReturned) override {
    return KsAnswer(device_, static_cast<int>(node_), property, propertyLength, data, dataLength,
                    bytesReturned);
  }
  HRESULT STDMETHODCALLTYPE KsMethod(PKSMETHOD, ULONG, LPVOID, ULONG, ULONG*) override {
    return HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND);
  }
  HRESULT STDMETHODCALLTYPE KsEvent(PKSEVENT, ULONG, LPVOID, ULONG, ULONG*) override {
    return HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND);
  }

 private:
  int device_;
  std::uint32_t node_;
};

class CaptureFilter final : public IBaseFilter,
                            public IPersistPropertyBag,
                            public IKsControl,
                            public IKsTopologyInfo,
                            public RefCounted {
 public:
  CaptureFilter() : RefCounted(kFilter) {}

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) {
      return E_POINTER;
    }
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IBaseFilter || iid == IID_IMediaFilter ||
        iid == IID_IPersist) {
      *out = static_cast<IBaseFilter*>(this);
    } else if (iid == IID_IPersistPropertyBag) {
      *out = static_cast<IPersistPropertyBag*>(this);
    } else if (iid == IID_IKsControl) {
      *out = static_cast<IKsControl*>(this);
    } else if (iid == __uuidof(IKsTopologyInfo)) {
      *out = static_cast<IKsTopologyInfo*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return RefCounted::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return RefCounted::Release(); }

  // IPersist (shared by IBaseFilter and IPersistPropertyBag)
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
    if (clsid == nullptr) {
      return E_POINTER;
    }
    *clsid = kFakeCameraClsid;
    return S_OK;
  }

  // IMediaFilter and IBaseFilter: a filter that is never run.
  HRESULT STDMETHODCALLTYPE Stop() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Pause() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE* state) override {
    if (state == nullptr) {
      return E_POINTER;
    }
    *state = State_Stopped;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override {
    if (clock == nullptr) {
      return E_POINTER;
    }
    *clock = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override {
    if (pins != nullptr) {
      *pins = nullptr;
    }
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR, IPin** pin) override {
    if (pin != nullptr) {
      *pin = nullptr;
    }
    return VFW_E_NOT_FOUND;
  }
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override {
    if (info == nullptr) {
      return E_POINTER;
    }
    std::memset(info, 0, sizeof *info);
    wcsncpy(info->achName, L"USB Video Device", MAX_FILTER_NAME - 1);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) override {
    if (info != nullptr) {
      *info = nullptr;
    }
    return E_NOTIMPL;
  }

  // IPersistPropertyBag: the moniker's bag names the device this filter stands for.
  HRESULT STDMETHODCALLTYPE InitNew() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog* log) override {
    if (bag == nullptr) {
      return E_POINTER;
    }
    VARIANT value{};
    VariantInit(&value);
    value.vt = VT_BSTR;
    HRESULT result = bag->Read(L"DevicePath", &value, log);
    if (SUCCEEDED(result) && value.vt == VT_BSTR && value.bstrVal != nullptr) {
      const std::u16string path(reinterpret_cast<const char16_t*>(value.bstrVal),
                                SysStringLen(value.bstrVal));
      device_ = Rig().DeviceForPath(path);
      result = device_ >= 0 ? S_OK : HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
    } else if (SUCCEEDED(result)) {
      result = E_INVALIDARG;
    }
    VariantClear(&value);
    return result;
  }
  HRESULT STDMETHODCALLTYPE Save(IPropertyBag*, BOOL, BOOL) override { return E_NOTIMPL; }

  // IKsControl of the filter: requests address a node by the descriptor's NodeId.
  HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength, LPVOID data,
                                       ULONG dataLength, ULONG* bytesReturned) override {
    return KsAnswer(device_, -1, property, propertyLength, data, dataLength, bytesReturned);
  }
  HRESULT STDMETHODCALLTYPE KsMethod(PKSMETHOD, ULONG, LPVOID, ULONG, ULONG*) override {
    return HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND);
  }
  HRESULT STDMETHODCALLTYPE KsEvent(PKSEVENT, ULONG, LPVOID, ULONG, ULONG*) override {
    return HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND);
  }

  // IKsTopologyInfo: the nodes of the device's topology; categories and connections are not
  // modelled.
  HRESULT STDMETHODCALLTYPE get_NumCategories(DWORD* count) override {
    if (count == nullptr) {
      return E_POINTER;
    }
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Category(DWORD, GUID*) override { return E_INVALIDARG; }
  HRESULT STDMETHODCALLTYPE get_NumConnections(DWORD* count) override {
    if (count == nullptr) {
      return E_POINTER;
    }
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ConnectionInfo(DWORD, KSTOPOLOGY_CONNECTION*) override {
    return E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE get_NodeName(DWORD, WCHAR*, DWORD, DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_NumNodes(DWORD* count) override {
    std::uint32_t nodes = 0;
    const HResult result = Rig().NumNodes(device_, &nodes);
    if (result == hr::kOk && count != nullptr) {
      *count = nodes;
    }
    return count == nullptr ? E_POINTER : result;
  }
  HRESULT STDMETHODCALLTYPE get_NodeType(DWORD node, GUID* type) override {
    if (type == nullptr) {
      return E_POINTER;
    }
    Guid value{};
    const HResult result = Rig().NodeType(device_, node, &value);
    if (result == hr::kOk) {
      std::memcpy(type, &value, sizeof(GUID));
    }
    return result;
  }
  HRESULT STDMETHODCALLTYPE CreateNodeInstance(DWORD node, REFIID iid, void** out) override {
    if (out == nullptr) {
      return E_POINTER;
    }
    *out = nullptr;
    if (!Rig().HasNode(device_, node)) {
      return E_INVALIDARG;
    }
    if (iid != IID_IKsControl && iid != IID_IUnknown) {
      return E_NOINTERFACE;
    }
    *out = static_cast<IKsControl*>(new NodeControl(device_, node));
    return S_OK;
  }

 private:
  std::atomic<int> device_{-1};
};

class FilterFactory final : public IClassFactory, public RefCounted {
 public:
  FilterFactory() : RefCounted(kFactory) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) {
      return E_POINTER;
    }
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return RefCounted::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return RefCounted::Release(); }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr) {
      return E_POINTER;
    }
    *out = nullptr;
    if (outer != nullptr) {
      return CLASS_E_NOAGGREGATION;
    }
    auto* filter = new CaptureFilter();
    const HRESULT result = filter->QueryInterface(iid, out);
    filter->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace

IClassFactory* NewFilterFactory() {
  return new FilterFactory();
}

std::string ObjectCounts() {
  return "filters_created=" + std::to_string(createdObjects[kFilter]) +
         "\nfilters_alive=" + std::to_string(liveObjects[kFilter]) +
         "\nnode_controls_created=" + std::to_string(createdObjects[kNodeControl]) +
         "\nnode_controls_alive=" + std::to_string(liveObjects[kNodeControl]) + "\n";
}

}  // namespace velkor::fakecam
