// Reads the units and terminals of a video-class VideoControl interface out of the raw USB
// descriptors that sysfs exposes for a device (its "descriptors" attribute).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/guid.h"

namespace velkor::linux_platform {

// Class-specific VideoControl descriptor subtypes that describe an entity.
namespace vc {
constexpr std::uint8_t kInputTerminal = 0x02;
constexpr std::uint8_t kOutputTerminal = 0x03;
constexpr std::uint8_t kSelectorUnit = 0x04;
constexpr std::uint8_t kProcessingUnit = 0x05;
constexpr std::uint8_t kExtensionUnit = 0x06;
constexpr std::uint8_t kEncodingUnit = 0x07;
}  // namespace vc

// One unit or terminal of the VideoControl interface, in descriptor order.
struct VideoControlEntity {
  std::uint8_t subtype = 0;
  std::uint8_t id = 0;                 // bUnitID or bTerminalID
  std::uint16_t terminalType = 0;      // wTerminalType, terminals only
  Guid extensionCode{};                // guidExtensionCode, extension units only
  std::vector<std::uint8_t> controls;  // bmControls, extension units only
};

// Walks the descriptors by bLength and returns the entities of the VideoControl interface
// (class 0x0E, subclass 0x01, alternate setting 0) numbered interfaceNumber, inside the
// configuration whose bConfigurationValue is configurationValue (or the first configuration
// when configurationValue is negative). The walk stops at the first descriptor whose bLength
// is below 2 or runs past the end, and skips entities too short for their own fields, so
// malformed input yields fewer entities and is never read beyond size.
std::vector<VideoControlEntity> ParseVideoControlEntities(const std::uint8_t* data,
                                                          std::size_t size, int interfaceNumber,
                                                          int configurationValue);

}  // namespace velkor::linux_platform
