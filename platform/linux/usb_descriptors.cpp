// Reads the units and terminals of a video-class VideoControl interface out of raw USB
// descriptors.
#include "platform/linux/usb_descriptors.h"

#include <optional>

namespace velkor::linux_platform {
namespace {

constexpr std::uint8_t kTypeConfiguration = 0x02;
constexpr std::uint8_t kTypeInterface = 0x04;
constexpr std::uint8_t kTypeInterfaceAssociation = 0x0B;
constexpr std::uint8_t kTypeClassInterface = 0x24;
constexpr std::uint8_t kClassVideo = 0x0E;
constexpr std::uint8_t kSubclassVideoControl = 0x01;

// Smallest bLength that holds what we read of each entity: the id at offset 3, and for
// terminals wTerminalType at offsets 4-5.
constexpr std::size_t kEntityIdLength = 4;
constexpr std::size_t kTerminalLength = 6;
// Extension unit: guid at 4-19, bNumControls 20, bNrInPins (p) 21, baSourceID 22..21+p,
// bControlSize (n) 22+p, bmControls 23+p..22+p+n, iExtension 23+p+n.
constexpr std::size_t kExtensionFixedLength = 24;

Guid GuidFromWireBytes(const std::uint8_t* b) {
  // The descriptor stores the GUID as Windows lays it out in memory: Data1-3 little-endian.
  Guid guid{};
  guid.data1 = static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
               static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
  guid.data2 = static_cast<std::uint16_t>(b[4] | b[5] << 8);
  guid.data3 = static_cast<std::uint16_t>(b[6] | b[7] << 8);
  for (int i = 0; i < 8; ++i) {
    guid.data4[i] = b[8 + i];
  }
  return guid;
}

std::optional<VideoControlEntity> ParseEntity(const std::uint8_t* d, std::size_t length) {
  if (length < kEntityIdLength) {
    return std::nullopt;
  }
  VideoControlEntity entity;
  entity.subtype = d[2];
  entity.id = d[3];
  switch (entity.subtype) {
    case vc::kInputTerminal:
    case vc::kOutputTerminal:
      if (length < kTerminalLength) {
        return std::nullopt;
      }
      entity.terminalType = static_cast<std::uint16_t>(d[4] | d[5] << 8);
      return entity;
    case vc::kSelectorUnit:
    case vc::kProcessingUnit:
    case vc::kEncodingUnit:
      return entity;
    case vc::kExtensionUnit: {
      if (length < kExtensionFixedLength) {
        return std::nullopt;
      }
      const std::size_t inPins = d[21];
      if (length < kExtensionFixedLength + inPins) {
        return std::nullopt;
      }
      const std::size_t controlSize = d[22 + inPins];
      if (length < kExtensionFixedLength + inPins + controlSize) {
        return std::nullopt;
      }
      entity.extensionCode = GuidFromWireBytes(d + 4);
      entity.controls.assign(d + 23 + inPins, d + 23 + inPins + controlSize);
      return entity;
    }
    default:
      return std::nullopt;  // the header and anything unknown describe no entity
  }
}

}  // namespace

std::vector<VideoControlEntity> ParseVideoControlEntities(const std::uint8_t* data,
                                                          std::size_t size, int interfaceNumber,
                                                          int configurationValue) {
  std::vector<VideoControlEntity> entities;
  if (data == nullptr) {
    return entities;
  }
  bool seenConfiguration = false;
  bool inWantedConfiguration = false;
  bool inVideoControl = false;
  std::size_t pos = 0;
  while (size - pos >= 2) {
    const std::uint8_t* d = data + pos;
    const std::size_t length = d[0];
    if (length < 2 || length > size - pos) {
      break;  // a zero or overlong bLength leaves no safe way to find the next descriptor
    }
    switch (d[1]) {
      case kTypeConfiguration:
        inWantedConfiguration = configurationValue < 0
                                    ? !seenConfiguration
                                    : (length >= 6 && d[5] == configurationValue);
        seenConfiguration = true;
        inVideoControl = false;
        break;
      case kTypeInterface:
        inVideoControl = inWantedConfiguration && length >= 7 && d[2] == interfaceNumber &&
                         d[3] == 0 && d[5] == kClassVideo && d[6] == kSubclassVideoControl;
        break;
      case kTypeInterfaceAssociation:
        inVideoControl = false;
        break;
      case kTypeClassInterface:
        if (inVideoControl && length >= 3) {
          if (std::optional<VideoControlEntity> entity = ParseEntity(d, length)) {
            entities.push_back(std::move(*entity));
          }
        }
        break;
      default:
        break;
    }
    pos += length;
  }
  return entities;
}

}  // namespace velkor::linux_platform
