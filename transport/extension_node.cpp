// Search of the bound filter's topology for the vendor extension unit's node.
#include <memory>

#include "transport/bound_device.h"
#include "transport/extension_unit.h"

namespace velkor::transport {
namespace {

constexpr std::uint32_t kSelectorProbe = 0;

// Sends the set-support probe to one node through that node's own control interface.
bool NodeAnswersProbe(KsTopology& topology, std::uint32_t node) {
  std::unique_ptr<KsControl> control;
  if (hr::Failed(topology.CreateNodeControl(node, &control)) || control == nullptr) {
    return false;
  }
  KsPropertyNode property{};
  property.set = kVendorPropertySet;
  property.id = kSelectorProbe;
  property.flags = kFlagsSetSupport;
  property.nodeId = node;
  property.reserved = 0;
  std::uint32_t returned = 0;
  // Any success code counts here: the probe only asks whether the node knows the set.
  return hr::Succeeded(control->KsProperty(&property, sizeof(property), nullptr, 0, &returned));
}

}  // namespace

bool FindExtensionNode(std::uint32_t* nodeId) {
  CaptureFilter* filter = boundDevice.filter.get();
  if (filter == nullptr) {
    return false;
  }
  std::unique_ptr<KsTopology> topology;
  if (filter->QueryTopology(&topology) != hr::kOk || topology == nullptr) {
    return false;
  }
  std::uint32_t count = 0;
  if (hr::Failed(topology->NumNodes(&count)) || count == 0) {
    return false;
  }
  // The first device-specific node, in index order, that answers the probe wins.
  for (std::uint32_t node = 0; node < count; ++node) {
    Guid type{};
    if (hr::Failed(topology->NodeType(node, &type)) || type != kNodeTypeDevSpecific) {
      continue;
    }
    if (NodeAnswersProbe(*topology, node)) {
      *nodeId = node;
      return true;
    }
  }
  return false;
}

}  // namespace velkor::transport
