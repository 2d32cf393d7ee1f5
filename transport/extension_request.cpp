// Sending single requests to the extension unit of the bound capture filter.
#include "transport/extension_request.h"

#include <cstring>

#include "transport/bound_device.h"
#include "transport/extension_unit.h"

namespace velkor::transport {
namespace {

KsPropertyNode Descriptor(std::uint32_t selector, std::uint32_t flags) {
  KsPropertyNode property{};
  property.set = kVendorPropertySet;
  property.id = selector;
  property.flags = flags;
  property.nodeId = boundDevice.extensionNodeId;
  property.reserved = 0;
  return property;
}

}  // namespace

std::unique_ptr<KsControl> ObtainControl() {
  CaptureFilter* filter = boundDevice.filter.get();
  if (filter == nullptr) {
    return nullptr;
  }
  std::unique_ptr<KsControl> control;
  if (filter->QueryControl(&control) != hr::kOk) {
    return nullptr;
  }
  return control;
}

bool SendRequest(KsControl& control, std::uint32_t selector, std::uint32_t flags,
                 std::uint8_t* payload, std::uint32_t size) {
  const KsPropertyNode property = Descriptor(selector, flags);
  std::uint32_t returned = 0;  // the returned length is not consulted
  return control.KsProperty(&property, sizeof(property), payload, size, &returned) == hr::kOk;
}

bool SetRequest(std::uint32_t selector, std::uint8_t* payload, std::uint32_t size) {
  std::unique_ptr<KsControl> control = ObtainControl();
  return control != nullptr && SendRequest(*control, selector, kFlagsSet, payload, size);
}

bool GetRequest(std::uint32_t selector, std::uint8_t* reply, std::uint32_t size) {
  std::unique_ptr<KsControl> control = ObtainControl();
  if (control == nullptr) {
    return false;
  }
  std::memset(reply, 0, size);
  return SendRequest(*control, selector, kFlagsGet, reply, size);
}

bool SetThenGetRequest(std::uint32_t selector, std::uint8_t* request, std::uint8_t* reply,
                       std::uint32_t size) {
  std::unique_ptr<KsControl> control = ObtainControl();
  if (control == nullptr || !SendRequest(*control, selector, kFlagsSet, request, size)) {
    return false;
  }
  std::memset(reply, 0, size);
  return SendRequest(*control, selector, kFlagsGet, reply, size);
}

}  // namespace velkor::transport
