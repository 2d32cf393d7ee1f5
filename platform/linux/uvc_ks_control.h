// The kernel-streaming view of one bound uvcvideo camera: its topology, built from the
// VideoControl descriptors, and property requests mapped onto uvcvideo extension-unit queries.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/capture_system.h"
#include "platform/linux/usb_descriptors.h"
#include "platform/linux/uvc_device_io.h"

namespace velkor::linux_platform {

// HResult of a failed uvcvideo request, from its errno. Never a success code.
HResult HResultFromErrno(int error);

// An open video node; closed when the last filter or control that uses it is released.
class UvcOpenNode {
 public:
  UvcOpenNode(UvcDeviceIo& io, int fd) : io_(io), fd_(fd) {}
  ~UvcOpenNode() { io_.Close(fd_); }
  UvcOpenNode(const UvcOpenNode&) = delete;
  UvcOpenNode& operator=(const UvcOpenNode&) = delete;

  // UVCIOC_CTRL_QUERY: 0 on success or the errno of the failure.
  int QueryExtensionUnit(std::uint8_t unit, std::uint8_t selector, std::uint8_t query,
                         std::uint16_t size, std::uint8_t* data);

 private:
  UvcDeviceIo& io_;
  int fd_;
};

// One topology node: a unit or terminal of the VideoControl interface.
struct UvcTopologyNode {
  Guid type;             // a KSNODETYPE; kNodeTypeDevSpecific for an extension unit
  std::uint8_t unitId;   // the descriptor's bUnitID / bTerminalID
  Guid extensionCode{};  // extension units: the property set the unit answers
};

// Topology nodes in descriptor order, so node index i is the i-th entity.
std::vector<UvcTopologyNode> TopologyFromEntities(const std::vector<VideoControlEntity>& entities);

struct UvcBoundCamera {
  std::shared_ptr<UvcOpenNode> node;
  std::vector<UvcTopologyNode> topology;
};

// IKsControl of the filter (every node addressed by NodeId) or of one node (fixedNode).
class UvcKsControl : public KsControl {
 public:
  UvcKsControl(std::shared_ptr<const UvcBoundCamera> camera, std::optional<std::uint32_t> fixedNode)
      : camera_(std::move(camera)), fixedNode_(fixedNode) {}
  HResult KsProperty(const KsPropertyNode* property, std::uint32_t propertyLength, void* data,
                     std::uint32_t dataLength, std::uint32_t* bytesReturned) override;

 private:
  std::shared_ptr<const UvcBoundCamera> camera_;
  std::optional<std::uint32_t> fixedNode_;
};

class UvcKsTopology : public KsTopology {
 public:
  explicit UvcKsTopology(std::shared_ptr<const UvcBoundCamera> camera)
      : camera_(std::move(camera)) {}
  HResult NumNodes(std::uint32_t* count) override;
  HResult NodeType(std::uint32_t node, Guid* type) override;
  HResult CreateNodeControl(std::uint32_t node, std::unique_ptr<KsControl>* control) override;

 private:
  std::shared_ptr<const UvcBoundCamera> camera_;
};

class UvcCaptureFilter : public CaptureFilter {
 public:
  explicit UvcCaptureFilter(std::shared_ptr<const UvcBoundCamera> camera)
      : camera_(std::move(camera)) {}
  HResult QueryControl(std::unique_ptr<KsControl>* control) override;
  HResult QueryTopology(std::unique_ptr<KsTopology>* topology) override;

 private:
  std::shared_ptr<const UvcBoundCamera> camera_;
};

}  // namespace velkor::linux_platform
