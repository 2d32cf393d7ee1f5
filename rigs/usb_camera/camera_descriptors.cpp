// The emulated camera's descriptors, byte by byte in the layout of USB 2.0 and UVC 1.1.
#include "rigs/usb_camera/camera_descriptors.h"

#include "rigs/sim/sim_camera.h"

#include "transport/extension_unit.h"

namespace velkor::usbcam {
namespace {

constexpr std::uint8_t kTypeDevice = 0x01;
constexpr std::uint8_t kTypeConfiguration = 0x02;
constexpr std::uint8_t kTypeString = 0x03;
constexpr std::uint8_t kTypeInterface = 0x04;
constexpr std::uint8_t kTypeEndpoint = 0x05;
constexpr std::uint8_t kTypeAssociation = 0x0B;
constexpr std::uint8_t kTypeClassInterface = 0x24;

constexpr std::uint8_t kClassVideo = 0x0E;
constexpr std::uint8_t kSubclassControl = 0x01;
constexpr std::uint8_t kSubclassStreaming = 0x02;
constexpr std::uint8_t kSubclassCollection = 0x03;

constexpr std::uint16_t kWidth = 640;
constexpr std::uint16_t kHeight = 480;
constexpr std::uint32_t kFrameInterval = 333333;  // 30 frames a second, in 100 ns units
constexpr std::uint32_t kFrameBytes = kWidth * kHeight * 2;

constexpr std::uint8_t kStringManufacturer = 1;
constexpr std::uint8_t kStringProduct = 2;
constexpr std::uint8_t kStringSerial = 3;

// Another maker's extension-unit property set.
constexpr Guid kOtherMakerSet = {
    0x2C49B7E3, 0x6A15, 0x4D0B, {0x9F, 0x47, 0x18, 0xE2, 0x5C, 0x03, 0xA9, 0x6D}};

void Put16(Bytes& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
  out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void Put32(Bytes& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

void PutGuid(Bytes& out, const Guid& guid) {
  Put32(out, guid.data1);
  Put16(out, guid.data2);
  Put16(out, guid.data3);
  out.insert(out.end(), guid.data4, guid.data4 + 8);
}

void Set16(Bytes& out, std::size_t offset, std::size_t value) {
  out[offset] = static_cast<std::uint8_t>(value & 0xFF);
  out[offset + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

Bytes VideoControlClassDescriptors(const CameraModel& m) {
  Bytes out = {13, kTypeClassInterface, 0x01, 0x10, 0x01, 0, 0};  // header, UVC 1.10
  Put32(out, 48000000);                                           // dwClockFrequency
  out.push_back(1);                                               // bInCollection
  out.push_back(kVideoStreamingInterface);
  // Camera terminal without controls, so the driver queries none at probe time.
  out.insert(out.end(), {18, kTypeClassInterface, 0x02, m.cameraTerminalId, 0x01, 0x02, 0, 0});
  out.insert(out.end(), {0, 0, 0, 0, 0, 0, 3, 0, 0, 0});
  out.insert(out.end(), {26, kTypeClassInterface, 0x06, m.extensionUnitId});
  PutGuid(out, m.extensionCode);
  out.insert(out.end(), {5, 1, m.cameraTerminalId, 1, m.extensionControls, 0});
  out.insert(out.end(), {9, kTypeClassInterface, 0x03, m.outputTerminalId, 0x01, 0x01, 0,
                         m.extensionUnitId, 0});
  Set16(out, 5, out.size());  // wTotalLength of the class-specific VideoControl descriptors
  return out;
}

Bytes VideoStreamingClassDescriptors(const CameraModel& m) {
  Bytes out = {14, kTypeClassInterface, 0x01, 1, 0, 0, 0x81, 0, m.outputTerminalId, 0, 0, 0, 1, 0};
  // Uncompressed YUY2 {32595559-0000-0010-8000-00AA00389B71}.
  out.insert(out.end(), {27, kTypeClassInterface, 0x04, 1, 1});
  out.insert(out.end(), {'Y', 'U', 'Y', '2', 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00,
                         0x38, 0x9B, 0x71});
  out.insert(out.end(), {16, 1, 0, 0, 0, 0});
  out.insert(out.end(), {30, kTypeClassInterface, 0x05, 1, 0});
  Put16(out, kWidth);
  Put16(out, kHeight);
  Put32(out, kFrameBytes * 8 * 30);  // dwMinBitRate
  Put32(out, kFrameBytes * 8 * 30);  // dwMaxBitRate
  Put32(out, kFrameBytes);
  Put32(out, kFrameInterval);
  out.push_back(1);
  Put32(out, kFrameInterval);
  out.insert(out.end(), {6, kTypeClassInterface, 0x0D, 1, 1, 4});  // colour matching
  Set16(out, 4, out.size());
  return out;
}

}  // namespace

CameraModel VelkorCameraModel() {
  CameraModel m;
  m.vendorId = 0x5D1A;
  m.productId = 0xC03E;
  m.manufacturer = "Velkor";
  m.product = "Velkor USB Camera Module";
  m.serial = "0001";
  m.extensionCode = transport::kVendorPropertySet;
  return m;
}

CameraModel OtherMakerCameraModel() {
  CameraModel m;
  m.vendorId = 0x2E7A;
  m.productId = 0x0B10;
  m.manufacturer = "Other Maker";
  m.product = "Integrated Webcam";
  m.serial = "W-42";
  m.extensionCode = kOtherMakerSet;
  return m;
}

Bytes DeviceDescriptor(const CameraModel& m) {
  // Miscellaneous class with interface associations, USB 2.0, 64-byte control endpoint.
  Bytes out = {18, kTypeDevice, 0x00, 0x02, 0xEF, 0x02, 0x01, 64};
  Put16(out, m.vendorId);
  Put16(out, m.productId);
  Put16(out, m.bcdDevice);
  out.insert(out.end(), {kStringManufacturer, kStringProduct, kStringSerial, 1});
  return out;
}

Bytes ConfigurationDescriptor(const CameraModel& m) {
  Bytes out = {9, kTypeConfiguration, 0, 0, 2, 1, 0, 0x80, 250};
  out.insert(out.end(), {8, kTypeAssociation, kVideoControlInterface, 2, kClassVideo,
                         kSubclassCollection, 0, kStringProduct});
  out.insert(out.end(), {9, kTypeInterface, kVideoControlInterface, 0, 0, kClassVideo,
                         kSubclassControl, 0, kStringProduct});
  Bytes control = VideoControlClassDescriptors(m);
  out.insert(out.end(), control.begin(), control.end());
  out.insert(out.end(), {9, kTypeInterface, kVideoStreamingInterface, 0, 1, kClassVideo,
                         kSubclassStreaming, 0, 0});
  Bytes streaming = VideoStreamingClassDescriptors(m);
  out.insert(out.end(), streaming.begin(), streaming.end());
  out.insert(out.end(), {7, kTypeEndpoint, 0x81, 0x02, 0x00, 0x02, 0});  // bulk IN, 512 bytes
  Set16(out, 2, out.size());
  return out;
}

std::optional<Bytes> StringDescriptor(const CameraModel& m, std::uint8_t index) {
  const std::string* text = nullptr;
  switch (index) {
    case 0:
      return Bytes{4, kTypeString, 0x09, 0x04};  // US English
    case kStringManufacturer:
      text = &m.manufacturer;
      break;
    case kStringProduct:
      text = &m.product;
      break;
    case kStringSerial:
      text = &m.serial;
      break;
    default:
      return std::nullopt;
  }
  Bytes out = {static_cast<std::uint8_t>(2 + 2 * text->size()), kTypeString};
  for (char c : *text) {
    Put16(out, static_cast<std::uint8_t>(c));
  }
  return out;
}

std::uint16_t ExtensionControlLength(std::uint8_t selector) {
  return static_cast<std::uint16_t>(sim::SelectorPayloadSize(selector));
}

Bytes DefaultStreamingControl() {
  Bytes out;
  Put16(out, 0);     // bmHint
  out.push_back(1);  // bFormatIndex
  out.push_back(1);  // bFrameIndex
  Put32(out, kFrameInterval);
  Put16(out, 0);  // wKeyFrameRate
  Put16(out, 0);  // wPFrameRate
  Put16(out, 0);  // wCompQuality
  Put16(out, 0);  // wCompWindowSize
  Put16(out, 0);  // wDelay
  Put32(out, kFrameBytes);
  Put32(out, 512);                      // dwMaxPayloadTransferSize
  Put32(out, 48000000);                 // dwClockFrequency (UVC 1.1)
  out.insert(out.end(), {0, 0, 0, 0});  // bmFramingInfo, bPreferedVersion, bMin/MaxVersion
  return out;
}

}  // namespace velkor::usbcam
