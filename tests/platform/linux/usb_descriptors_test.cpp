// The VideoControl descriptor parser on a well-formed camera and on malformed descriptors.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "platform/linux/usb_descriptors.h"
#include "tests/platform/linux/uvc_descriptor_builder.h"

namespace velkor::linux_platform {
namespace {

using testing::Bytes;
using testing::kOtherSet;
using testing::kVendorSet;
using testing::UvcDescriptorBuilder;

// Parses from a heap block of exactly the given size, so that a read past the end is an
// AddressSanitizer error rather than a silent read of the vector's spare capacity.
std::vector<VideoControlEntity> ParseExact(const Bytes& bytes, std::size_t size,
                                           int interfaceNumber = 0, int configuration = 1) {
  std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[size == 0 ? 1 : size]);
  std::memcpy(block.get(), bytes.data(), size);
  return ParseVideoControlEntities(block.get(), size, interfaceNumber, configuration);
}

TEST(UsbDescriptors, CameraWithTwoExtensionUnitsYieldsEveryEntityInOrder) {
  Bytes bytes = testing::TwoExtensionUnitCamera();

  std::vector<VideoControlEntity> entities = ParseExact(bytes, bytes.size());

  ASSERT_EQ(entities.size(), 5u);
  EXPECT_EQ(entities[0].subtype, vc::kInputTerminal);
  EXPECT_EQ(entities[0].terminalType, 0x0201);
  EXPECT_EQ(entities[1].subtype, vc::kProcessingUnit);
  EXPECT_EQ(entities[2].subtype, vc::kExtensionUnit);
  EXPECT_EQ(entities[2].id, 3);
  EXPECT_EQ(entities[2].extensionCode, kOtherSet);
  EXPECT_EQ(entities[2].controls, (std::vector<std::uint8_t>{0xFF, 0x03}));
  EXPECT_EQ(entities[3].id, 4);
  EXPECT_EQ(entities[3].extensionCode, kVendorSet);
  EXPECT_EQ(entities[3].controls, (std::vector<std::uint8_t>{0x1F}));
  EXPECT_EQ(entities[4].subtype, vc::kOutputTerminal);
  EXPECT_EQ(entities[4].terminalType, 0x0101);
}

TEST(UsbDescriptors, OtherInterfaceOrConfigurationYieldsNothing) {
  Bytes bytes = testing::TwoExtensionUnitCamera();

  EXPECT_TRUE(ParseExact(bytes, bytes.size(), /*interfaceNumber=*/1).empty());
  EXPECT_TRUE(ParseExact(bytes, bytes.size(), 0, /*configuration=*/2).empty());
  EXPECT_EQ(ParseExact(bytes, bytes.size(), 0, /*first configuration*/ -1).size(), 5u);
}

TEST(UsbDescriptors, SecondConfigurationIsReadWhenItIsTheActiveOne) {
  Bytes bytes = UvcDescriptorBuilder()
                    .Device(0x5D1A, 0xC03E, 0x0100)
                    .Configuration(1)
                    .Interface(0, 0, 0x0E, 0x01)
                    .ExtensionUnit(7, kOtherSet, 1, {0x01})
                    .Configuration(2)
                    .Interface(0, 0, 0x0E, 0x01)
                    .ExtensionUnit(9, kVendorSet, 1, {0x1F})
                    .Build();

  std::vector<VideoControlEntity> entities = ParseExact(bytes, bytes.size(), 0, 2);

  ASSERT_EQ(entities.size(), 1u);
  EXPECT_EQ(entities[0].id, 9);
}

TEST(UsbDescriptors, StreamingInterfaceDescriptorsAreNotVideoControlEntities) {
  // A class-specific descriptor after a VideoStreaming interface has subtype numbers that
  // collide with VideoControl ones (0x02 there is an output header, 0x06 a format).
  Bytes bytes = UvcDescriptorBuilder()
                    .Configuration(1)
                    .Interface(0, 0, 0x0E, 0x01)
                    .CameraTerminal(1)
                    .Interface(1, 0, 0x0E, 0x02)
                    .ExtensionUnit(8, kVendorSet, 1, {0x1F})
                    .Build();

  std::vector<VideoControlEntity> entities = ParseExact(bytes, bytes.size());

  ASSERT_EQ(entities.size(), 1u);
  EXPECT_EQ(entities[0].subtype, vc::kInputTerminal);
}

TEST(UsbDescriptors, ZeroLengthDescriptorEndsTheWalk) {
  Bytes bytes = UvcDescriptorBuilder()
                    .Configuration(1)
                    .Interface(0, 0, 0x0E, 0x01)
                    .CameraTerminal(1)
                    .Raw({0, 0x24, 0x06, 4})
                    .ExtensionUnit(4, kVendorSet, 1, {0x1F})
                    .Build();

  std::vector<VideoControlEntity> entities = ParseExact(bytes, bytes.size());

  ASSERT_EQ(entities.size(), 1u);
  EXPECT_EQ(entities[0].subtype, vc::kInputTerminal);
}

TEST(UsbDescriptors, EveryTruncationStaysInBoundsAndKeepsOnlyWholeEntities) {
  Bytes bytes = testing::TwoExtensionUnitCamera();

  for (std::size_t size = 0; size <= bytes.size(); ++size) {
    std::vector<VideoControlEntity> entities = ParseExact(bytes, size);
    ASSERT_LE(entities.size(), 5u) << "size " << size;
    for (const VideoControlEntity& entity : entities) {
      if (entity.subtype == vc::kExtensionUnit) {
        EXPECT_FALSE(entity.controls.empty()) << "size " << size;
      }
    }
  }
}

TEST(UsbDescriptors, ExtensionUnitTooShortForItsPinsAndControlsIsSkipped) {
  // bNrInPins 200 and bControlSize would lie far beyond this unit's 24 bytes.
  Bytes unit = UvcDescriptorBuilder().ExtensionUnit(4, kVendorSet, 1, {0x1F}).Build();
  unit[21] = 200;
  Bytes shortControls = UvcDescriptorBuilder().ExtensionUnit(5, kVendorSet, 1, {0x1F}).Build();
  shortControls[23] = 60;  // bControlSize
  UvcDescriptorBuilder builder;
  builder.Configuration(1).Interface(0, 0, 0x0E, 0x01);
  Bytes bytes = builder.Build();
  bytes.insert(bytes.end(), unit.begin(), unit.end());
  bytes.insert(bytes.end(), shortControls.begin(), shortControls.end());
  Bytes tail = UvcDescriptorBuilder().ExtensionUnit(6, kVendorSet, 1, {0x1F}).Build();
  bytes.insert(bytes.end(), tail.begin(), tail.end());

  std::vector<VideoControlEntity> entities = ParseExact(bytes, bytes.size());

  ASSERT_EQ(entities.size(), 1u);
  EXPECT_EQ(entities[0].id, 6);
}

TEST(UsbDescriptors, LengthPastTheEndStopsTheWalk) {
  Bytes bytes = UvcDescriptorBuilder()
                    .Configuration(1)
                    .Interface(0, 0, 0x0E, 0x01)
                    .CameraTerminal(1)
                    .Raw({0xFF, 0x24, 0x06, 4, 0, 0})
                    .Build();

  std::vector<VideoControlEntity> entities = ParseExact(bytes, bytes.size());

  EXPECT_EQ(entities.size(), 1u);
  EXPECT_TRUE(ParseVideoControlEntities(nullptr, 10, 0, 1).empty());
}

}  // namespace
}  // namespace velkor::linux_platform
