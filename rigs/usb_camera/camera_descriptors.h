// The USB descriptors of an emulated video-class camera: a device with one configuration that
// holds an interface association, a VideoControl interface (header, camera terminal, one
// extension unit, streaming output terminal) and a VideoStreaming interface with one
// uncompressed format and one frame on a bulk endpoint. The VideoControl interface has no
// interrupt endpoint, so the host never keeps a transfer pending on the device.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/guid.h"

namespace velkor::usbcam {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kVideoControlInterface = 0;
constexpr std::uint8_t kVideoStreamingInterface = 1;

struct CameraModel {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint16_t bcdDevice = 0x0100;
  std::string manufacturer;
  std::string product;
  std::string serial;
  std::uint8_t cameraTerminalId = 1;
  std::uint8_t outputTerminalId = 2;
  std::uint8_t extensionUnitId = 3;
  Guid extensionCode{};
  std::uint8_t extensionControls = 0x1F;  // bmControls: selector n in bit n-1
};

// The camera under update: vendor 0x5D1A, product 0xC03E, the vendor extension unit with
// selectors 1 to 5. Its unit id (3) differs from its topology index (1), so a host that
// confuses the two addresses the wrong entity.
CameraModel VelkorCameraModel();
// A webcam of another maker: its own ids and an extension unit of its own property set with the
// same five selectors, so a host that ignored the unit's GUID would reach it.
CameraModel OtherMakerCameraModel();

Bytes DeviceDescriptor(const CameraModel& model);
Bytes ConfigurationDescriptor(const CameraModel& model);
// String descriptor `index` (0: the language list); nothing for an index the device lacks.
std::optional<Bytes> StringDescriptor(const CameraModel& model, std::uint8_t index);

// Length in bytes of an extension-unit control, as GET_LEN reports it; 0 for no control.
std::uint16_t ExtensionControlLength(std::uint8_t selector);

// The 34-byte streaming probe/commit block (UVC 1.1) that names format 1, frame 1.
Bytes DefaultStreamingControl();

}  // namespace velkor::usbcam
