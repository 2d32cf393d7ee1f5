// The emulated camera's descriptors: well-formed lengths throughout, and the entities the
// updater's own descriptor parser must find in them.
#include <gtest/gtest.h>

#include <string>

#include "platform/linux/usb_descriptors.h"
#include "rigs/usb_camera/camera_descriptors.h"
#include "transport/extension_unit.h"

namespace velkor::usbcam {
namespace {

std::uint16_t Le16At(const Bytes& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

// Walks the descriptors by bLength; returns the offsets of those of the given type/subtype.
std::vector<std::size_t> Find(const Bytes& bytes, std::uint8_t type, int subtype = -1) {
  std::vector<std::size_t> found;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    EXPECT_GE(bytes[pos], 2u) << "at " << pos;
    if (bytes[pos] < 2) {
      break;
    }
    if (bytes[pos + 1] == type && (subtype < 0 || bytes[pos + 2] == subtype)) {
      found.push_back(pos);
    }
    pos += bytes[pos];
  }
  EXPECT_EQ(pos, bytes.size()) << "the last descriptor runs past the end";
  return found;
}

TEST(CameraDescriptorsTest, LengthsAddUpAtEveryLevel) {
  const Bytes config = ConfigurationDescriptor(VelkorCameraModel());

  EXPECT_EQ(Le16At(config, 2), config.size());
  EXPECT_EQ(Find(config, 0x04).size(), 2u);  // VideoControl and VideoStreaming interfaces
  // The VideoControl header's total covers itself and the entities up to the next interface.
  const std::size_t header = Find(config, 0x24, 0x01).at(0);
  const std::size_t streamingInterface = Find(config, 0x04).at(1);
  EXPECT_EQ(Le16At(config, header + 5), streamingInterface - header);
  // The streaming input header's total covers itself, the format, the frame and the colours.
  const std::size_t input = Find(config, 0x24, 0x01).at(1);
  const std::size_t endpoint = Find(config, 0x05).at(0);
  EXPECT_EQ(Le16At(config, input + 4), endpoint - input);
  EXPECT_EQ(Find(config, 0x24, 0x04).size(), 1u);  // one uncompressed format
  EXPECT_EQ(Find(config, 0x24, 0x05).size(), 1u);  // one frame
}

TEST(CameraDescriptorsTest, DeviceDescriptorCarriesTheCameraIdsAndAssociationClass) {
  const Bytes device = DeviceDescriptor(VelkorCameraModel());

  ASSERT_EQ(device.size(), 18u);
  EXPECT_EQ(device[0], 18);
  EXPECT_EQ(Le16At(device, 8), 0x5D1A);
  EXPECT_EQ(Le16At(device, 10), 0xC03E);
  EXPECT_EQ(device[4], 0xEF);  // interface associations need the miscellaneous class
}

TEST(CameraDescriptorsTest, UpdaterParserFindsTheVendorUnitByItsIdAndGuid) {
  Bytes all = DeviceDescriptor(VelkorCameraModel());
  const Bytes config = ConfigurationDescriptor(VelkorCameraModel());
  all.insert(all.end(), config.begin(), config.end());

  const auto entities =
      linux_platform::ParseVideoControlEntities(all.data(), all.size(), kVideoControlInterface, 1);

  ASSERT_EQ(entities.size(), 3u);
  EXPECT_EQ(entities[0].subtype, linux_platform::vc::kInputTerminal);
  EXPECT_EQ(entities[0].terminalType, 0x0201);  // camera
  EXPECT_EQ(entities[1].subtype, linux_platform::vc::kExtensionUnit);
  EXPECT_EQ(entities[1].id, 3);
  EXPECT_EQ(entities[1].extensionCode, transport::kVendorPropertySet);
  EXPECT_EQ(entities[1].controls, std::vector<std::uint8_t>{0x1F});
  EXPECT_EQ(entities[2].subtype, linux_platform::vc::kOutputTerminal);
  EXPECT_EQ(entities[2].terminalType, 0x0101);  // streaming
}

TEST(CameraDescriptorsTest, OtherMakersUnitHasItsOwnGuidAndIds) {
  const CameraModel other = OtherMakerCameraModel();
  const Bytes config = ConfigurationDescriptor(other);

  const auto entities =
      linux_platform::ParseVideoControlEntities(config.data(), config.size(), 0, 1);

  ASSERT_EQ(entities.size(), 3u);
  EXPECT_NE(entities[1].extensionCode, transport::kVendorPropertySet);
  EXPECT_NE(Le16At(DeviceDescriptor(other), 8), 0x5D1A);
}

TEST(CameraDescriptorsTest, StringsAreUtf16WithALanguageList) {
  const CameraModel model = VelkorCameraModel();

  EXPECT_EQ(StringDescriptor(model, 0), (Bytes{4, 3, 0x09, 0x04}));
  const auto product = StringDescriptor(model, 2);
  ASSERT_TRUE(product.has_value());
  ASSERT_EQ(product->size(), 2 + 2 * model.product.size());
  EXPECT_EQ((*product)[0], product->size());
  std::string decoded;
  for (std::size_t i = 2; i < product->size(); i += 2) {
    decoded += static_cast<char>((*product)[i]);
    EXPECT_EQ((*product)[i + 1], 0);
  }
  EXPECT_EQ(decoded, model.product);
  EXPECT_FALSE(StringDescriptor(model, 4).has_value());
}

TEST(CameraDescriptorsTest, StreamingControlIsTheUvc11BlockForFormatOneFrameOne) {
  const Bytes control = DefaultStreamingControl();

  ASSERT_EQ(control.size(), 34u);
  EXPECT_EQ(control[2], 1);
  EXPECT_EQ(control[3], 1);
}

}  // namespace
}  // namespace velkor::usbcam
