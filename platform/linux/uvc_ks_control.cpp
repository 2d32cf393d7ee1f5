// Kernel-streaming topology and property requests of a bound uvcvideo camera.
#include "platform/linux/uvc_ks_control.h"

#include <cerrno>

#include <linux/usb/video.h>
#include <linux/uvcvideo.h>

namespace velkor::linux_platform {
namespace {

// HRESULT_FROM_WIN32 codes that have no name in the shared header.
constexpr HResult kAccessDenied = static_cast<HResult>(0x80070005u);  // ERROR_ACCESS_DENIED
constexpr HResult kSetNotFound = static_cast<HResult>(0x80070492u);   // ERROR_SET_NOT_FOUND

// Node types of the video topology (ksmedia.h) for the entities that are not extension units.
constexpr Guid VideoNodeType(std::uint32_t data1) {
  return {data1, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
}
constexpr Guid kNodeTypeVideoStreaming = VideoNodeType(0xDFF229E1);
constexpr Guid kNodeTypeVideoInputTerminal = VideoNodeType(0xDFF229E2);
constexpr Guid kNodeTypeVideoOutputTerminal = VideoNodeType(0xDFF229E3);
constexpr Guid kNodeTypeVideoSelector = VideoNodeType(0xDFF229E4);
constexpr Guid kNodeTypeVideoProcessing = VideoNodeType(0xDFF229E5);
constexpr Guid kNodeTypeVideoCameraTerminal = VideoNodeType(0xDFF229E6);

constexpr std::uint16_t kTerminalStreaming = 0x0101;  // TT_STREAMING
constexpr std::uint16_t kTerminalCamera = 0x0201;     // ITT_CAMERA

}  // namespace

HResult HResultFromErrno(int error) {
  switch (error) {
    case ENOENT:  // no such unit, or the selector is not in bmControls
      return hr::kNotFound;
    case ENOBUFS:  // payload size differs from the control's length
      return hr::kInsufficientBuffer;
    case EPIPE:  // the device stalled the request
    case EIO:
    case EBUSY:
    case EPROTO:
      return hr::kDeviceFailure;
    case ETIMEDOUT:
      return hr::kTimeout;
    case ENODEV:  // unplugged
    case ENXIO:
    case ESHUTDOWN:
      return hr::kDeviceNotConnected;
    case EACCES:
    case EPERM:
      return kAccessDenied;
    case EINVAL:
    case EFAULT:
      return hr::kInvalidArgument;
    case ENOMEM:
      return hr::kOutOfMemory;
    default:
      return hr::kFail;
  }
}

int UvcOpenNode::QueryExtensionUnit(std::uint8_t unit, std::uint8_t selector, std::uint8_t query,
                                    std::uint16_t size, std::uint8_t* data) {
  uvc_xu_control_query request{};
  request.unit = unit;
  request.selector = selector;
  request.query = query;
  request.size = size;
  request.data = data;
  int result = io_.Ioctl(fd_, UVCIOC_CTRL_QUERY, &request);
  if (result >= 0) {
    return 0;
  }
  // A seam that fails without an errno still fails.
  return -result > 0 ? -result : EIO;
}

std::vector<UvcTopologyNode> TopologyFromEntities(const std::vector<VideoControlEntity>& entities) {
  std::vector<UvcTopologyNode> nodes;
  nodes.reserve(entities.size());
  for (const VideoControlEntity& entity : entities) {
    UvcTopologyNode node{kNodeTypeVideoProcessing, entity.id, {}};
    switch (entity.subtype) {
      case vc::kExtensionUnit:
        node.type = kNodeTypeDevSpecific;
        node.extensionCode = entity.extensionCode;
        break;
      case vc::kInputTerminal:
        node.type = entity.terminalType == kTerminalCamera ? kNodeTypeVideoCameraTerminal
                                                           : kNodeTypeVideoInputTerminal;
        break;
      case vc::kOutputTerminal:
        node.type = entity.terminalType == kTerminalStreaming ? kNodeTypeVideoStreaming
                                                              : kNodeTypeVideoOutputTerminal;
        break;
      case vc::kSelectorUnit:
        node.type = kNodeTypeVideoSelector;
        break;
      default:  // processing and encoding units
        break;
    }
    nodes.push_back(node);
  }
  return nodes;
}

HResult UvcKsControl::KsProperty(const KsPropertyNode* property, std::uint32_t propertyLength,
                                 void* data, std::uint32_t dataLength,
                                 std::uint32_t* bytesReturned) {
  if (property == nullptr || propertyLength < sizeof(KsPropertyNode) ||
      (data == nullptr && dataLength != 0)) {
    return hr::kInvalidArgument;
  }
  // Only node-addressed requests reach an extension unit.
  if ((property->flags & ks::kTypeTopology) == 0) {
    return kSetNotFound;
  }
  const std::uint32_t nodeIndex = fixedNode_ ? *fixedNode_ : property->nodeId;
  if (nodeIndex >= camera_->topology.size()) {
    return hr::kNotFound;
  }
  const UvcTopologyNode& node = camera_->topology[nodeIndex];
  // A unit answers only its own property set, so vendor selectors never reach another unit.
  if (node.type != kNodeTypeDevSpecific || node.extensionCode != property->set) {
    return kSetNotFound;
  }

  std::uint8_t query;
  switch (property->flags & ~ks::kTypeTopology) {
    case ks::kTypeSetSupport:
      return hr::kOk;  // the unit carries this property set
    case ks::kTypeGet:
      query = UVC_GET_CUR;
      break;
    case ks::kTypeSet:
      query = UVC_SET_CUR;
      break;
    default:
      return hr::kInvalidArgument;
  }
  // Selector 0 is no control on the wire; uvcvideo carries selectors 1 to 255 and sizes below
  // 64 KiB.
  if (property->id == 0 || property->id > 0xFF) {
    return hr::kNotFound;
  }
  if (dataLength == 0 || dataLength > 0xFFFF) {
    return hr::kInvalidArgument;
  }
  int error = camera_->node->QueryExtensionUnit(
      node.unitId, static_cast<std::uint8_t>(property->id), query,
      static_cast<std::uint16_t>(dataLength), static_cast<std::uint8_t*>(data));
  if (error != 0) {
    return HResultFromErrno(error);
  }
  if (bytesReturned != nullptr) {
    *bytesReturned = query == UVC_GET_CUR ? dataLength : 0;
  }
  return hr::kOk;
}

HResult UvcKsTopology::NumNodes(std::uint32_t* count) {
  if (count == nullptr) {
    return hr::kInvalidArgument;
  }
  *count = static_cast<std::uint32_t>(camera_->topology.size());
  return hr::kOk;
}

HResult UvcKsTopology::NodeType(std::uint32_t node, Guid* type) {
  if (type == nullptr) {
    return hr::kInvalidArgument;
  }
  if (node >= camera_->topology.size()) {
    return hr::kInvalidArgument;
  }
  *type = camera_->topology[node].type;
  return hr::kOk;
}

HResult UvcKsTopology::CreateNodeControl(std::uint32_t node, std::unique_ptr<KsControl>* control) {
  if (control == nullptr) {
    return hr::kInvalidArgument;
  }
  if (node >= camera_->topology.size()) {
    return hr::kInvalidArgument;
  }
  *control = std::make_unique<UvcKsControl>(camera_, node);
  return hr::kOk;
}

HResult UvcCaptureFilter::QueryControl(std::unique_ptr<KsControl>* control) {
  if (control == nullptr) {
    return hr::kInvalidArgument;
  }
  *control = std::make_unique<UvcKsControl>(camera_, std::nullopt);
  return hr::kOk;
}

HResult UvcCaptureFilter::QueryTopology(std::unique_ptr<KsTopology>* topology) {
  if (topology == nullptr) {
    return hr::kInvalidArgument;
  }
  *topology = std::make_unique<UvcKsTopology>(camera_);
  return hr::kOk;
}

}  // namespace velkor::linux_platform
