// The COM adapters against hand-made COM objects: the KSP_NODE that reaches the driver, payload
// pass-through, reference counting, and the property bag's variant handling.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/win32/com_adapters.h"

namespace velkor::win32 {
namespace {

// An IKsControl that records what it was sent and answers a fixed reply and result.
class RecordingKsControl : public IKsControl {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength, LPVOID data,
                                       ULONG dataLength, ULONG* bytesReturned) override {
    ++calls;
    descriptor.assign(reinterpret_cast<const std::uint8_t*>(property),
                      reinterpret_cast<const std::uint8_t*>(property) + propertyLength);
    payload = data;
    payloadLength = dataLength;
    if (data != nullptr && !reply.empty()) {
      std::memcpy(data, reply.data(), std::min<std::size_t>(reply.size(), dataLength));
    }
    *bytesReturned = returned;
    return result;
  }
  HRESULT STDMETHODCALLTYPE KsMethod(PKSMETHOD, ULONG, LPVOID, ULONG, ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE KsEvent(PKSEVENT, ULONG, LPVOID, ULONG, ULONG*) override {
    return E_NOTIMPL;
  }

  ULONG references = 1;
  int calls = 0;
  std::vector<std::uint8_t> descriptor;
  void* payload = nullptr;
  ULONG payloadLength = 0;
  std::vector<std::uint8_t> reply;
  ULONG returned = 0;
  HRESULT result = S_OK;
};

// An IBaseFilter whose QueryInterface hands out the control above for IID_IKsControl and
// refuses everything else, including IKsTopologyInfo.
class FakeFilter : public IBaseFilter {
 public:
  explicit FakeFilter(RecordingKsControl* control) : control_(control) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    queried.push_back(iid);
    if (IsEqualGUID(iid, IID_IKsControl) && control_ != nullptr) {
      control_->AddRef();
      *object = static_cast<IKsControl*>(control_);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stop() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Pause() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

  ULONG references = 1;
  std::vector<GUID> queried;

 private:
  RecordingKsControl* control_;
};

// An IPropertyBag that answers "DevicePath" with a prepared variant.
class FakePropertyBag : public IPropertyBag {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    askedFor = name;
    requestedType = value->vt;
    value->vt = answerType;
    if (answerType == VT_BSTR) {
      value->bstrVal = SysAllocStringLen(answer.data(), static_cast<UINT>(answer.size()));
    } else if (answerType == VT_I4) {
      value->lVal = 0x12345678;
    }
    return result;
  }
  HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

  ULONG references = 1;
  std::wstring askedFor;
  VARTYPE requestedType = VT_EMPTY;
  VARTYPE answerType = VT_BSTR;
  std::wstring answer;
  HRESULT result = S_OK;
};

constexpr Guid kVendorSet = {
    0x5B1E07C4, 0x92D3, 0x4F6A, {0x8E, 0x21, 0x3C, 0x7D, 0x94, 0xA0, 0xB6, 0xF8}};

TEST(ComKsControlTest, SetRequestReachesTheDriverAsAKspNodeWithThePayloadUntouched) {
  RecordingKsControl control;
  control.returned = 4;
  std::uint8_t payload[4] = {0x82, 0x10, 0x06, 0x00};
  const KsPropertyNode property = {kVendorSet, 1, ks::kTypeSet | ks::kTypeTopology, 2, 0};
  std::uint32_t returned = 0;
  {
    auto wrapped = WrapKsControl(&control);
    EXPECT_EQ(wrapped->KsProperty(&property, 32, payload, sizeof(payload), &returned), hr::kOk);
  }

  ASSERT_EQ(control.descriptor.size(), 32u);
  KSP_NODE sent;
  std::memcpy(&sent, control.descriptor.data(), sizeof(sent));
  EXPECT_EQ(std::memcmp(&sent.Property.Set, &kVendorSet, 16), 0);
  EXPECT_EQ(sent.Property.Id, 1u);
  EXPECT_EQ(sent.Property.Flags, 0x10000002u);
  EXPECT_EQ(sent.NodeId, 2u);
  EXPECT_EQ(sent.Reserved, 0u);
  // NodeId sits at byte 24 and Reserved at 28 of the descriptor the driver reads.
  EXPECT_EQ(control.descriptor[24], 2);
  EXPECT_EQ(control.descriptor[28], 0);
  EXPECT_EQ(control.payload, payload);
  EXPECT_EQ(control.payloadLength, 4u);
  EXPECT_EQ(returned, 4u);
  EXPECT_EQ(control.references, 0u) << "the wrapper releases its reference exactly once";
}

TEST(ComKsControlTest, GetReplyLandsInTheCallersBufferAndOtherSuccessCodesPassThrough) {
  RecordingKsControl control;
  control.references = 2;  // one for the wrapper, one kept by the test
  control.reply = {0xAA, 0xBB, 0x5C, 0x00};
  control.result = S_FALSE;
  std::uint8_t payload[4] = {};
  const KsPropertyNode property = {kVendorSet, 1, ks::kTypeGet | ks::kTypeTopology, 3, 0};
  auto wrapped = WrapKsControl(&control);

  EXPECT_EQ(wrapped->KsProperty(&property, 32, payload, sizeof(payload), nullptr), hr::kFalse);

  EXPECT_EQ(payload[2], 0x5C);
  wrapped.reset();
  EXPECT_EQ(control.references, 1u);
}

TEST(ComKsControlTest, DescriptorLongerThanAKspNodeIsRefusedWithoutCallingTheDriver) {
  RecordingKsControl control;
  control.references = 2;
  const KsPropertyNode property = {kVendorSet, 0, ks::kTypeSetSupport | ks::kTypeTopology, 0, 0};
  auto wrapped = WrapKsControl(&control);

  EXPECT_EQ(wrapped->KsProperty(&property, 64, nullptr, 0, nullptr), hr::kInvalidArgument);
  EXPECT_EQ(wrapped->KsProperty(nullptr, 32, nullptr, 0, nullptr), hr::kInvalidArgument);

  EXPECT_EQ(control.calls, 0);
}

TEST(ComCaptureFilterTest, InterfacesObtainedFromTheFilterAreReleasedWithTheirWrappers) {
  RecordingKsControl control;
  FakeFilter filter(&control);
  auto wrapped = WrapCaptureFilter(&filter);

  std::unique_ptr<KsControl> ksControl;
  EXPECT_EQ(wrapped->QueryControl(&ksControl), hr::kOk);
  ASSERT_NE(ksControl, nullptr);
  EXPECT_EQ(control.references, 2u);
  ksControl.reset();
  EXPECT_EQ(control.references, 1u);

  std::unique_ptr<KsTopology> topology;
  EXPECT_EQ(wrapped->QueryTopology(&topology), hr::kNoInterface);
  EXPECT_EQ(topology, nullptr);
  ASSERT_EQ(filter.queried.size(), 2u);
  const GUID topologyIid = {
      0x720D4AC0, 0x7533, 0x11D0, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};
  EXPECT_TRUE(IsEqualGUID(filter.queried[1], topologyIid));

  wrapped.reset();
  EXPECT_EQ(filter.references, 0u);
}

TEST(ComPropertyBagTest, DevicePathIsReadAsABstrIncludingItsFullLength) {
  FakePropertyBag bag;
  bag.references = 2;
  bag.answer = L"\\\\?\\usb#vid_5d1a&pid_c03e&mi_00#6&5aaffc2&0&0000#{65e8773d}\\global";
  auto wrapped = WrapPropertyBag(&bag);

  std::u16string path;
  EXPECT_EQ(wrapped->ReadDevicePath(&path), hr::kOk);

  EXPECT_EQ(bag.askedFor, L"DevicePath");
  EXPECT_EQ(bag.requestedType, VT_BSTR);
  EXPECT_EQ(path, std::u16string(bag.answer.begin(), bag.answer.end()));
}

TEST(ComPropertyBagTest, AnswerOfAnotherTypeOrAFailureLeavesThePathAlone) {
  FakePropertyBag bag;
  bag.references = 3;
  auto wrapped = WrapPropertyBag(&bag);
  std::u16string path = u"unchanged";

  bag.answerType = VT_I4;
  EXPECT_TRUE(hr::Failed(wrapped->ReadDevicePath(&path)));
  EXPECT_EQ(path, u"unchanged");

  bag.answerType = VT_EMPTY;
  bag.result = E_FAIL;
  EXPECT_EQ(wrapped->ReadDevicePath(&path), hr::kFail);
  EXPECT_EQ(path, u"unchanged");
}

}  // namespace
}  // namespace velkor::win32
