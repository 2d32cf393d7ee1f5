// The shipped placeholder image, the embedded image and a replacement image from a file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "platform/linux/embedded_resources.h"
#include "resources/firmware_image.h"
#include "resources/placeholder_image.h"
#include "rigs/sim_frontend/image_file_resources.h"

namespace velkor {
namespace {

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
}

// Given by the build: __FILE__ is relative in builds that map their paths away.
std::filesystem::path SourceTree() {
  return VELKOR_SOURCE_DIR;
}

TEST(PlaceholderImageFile, IsTheGeneratorsOutput) {
  const auto committed = ReadFile(SourceTree() / "resources" / "firmware.bin");
  ASSERT_EQ(committed.size(), kPlaceholderImageSize);
  EXPECT_TRUE(committed == MakePlaceholderImage()) << "regenerate resources/firmware.bin";
}

TEST(PlaceholderImageContent, CarriesTheConfigurationBlockAndNoErasedBytes) {
  const auto image = MakePlaceholderImage();
  for (std::uint16_t offset : {0x0003, 0x5803, 0x8003, 0xC003}) {
    EXPECT_GE(image[offset], 0x35) << offset;
  }
  for (std::uint16_t offset : {0x000F, 0x0034, 0x5834, 0x8034, 0xC034}) {
    // Bit 7 set, pin 3, pin driven low while writing: the simulated board's wiring.
    EXPECT_EQ(image[offset], 0xB1) << offset;
  }
  for (std::size_t i = 0; i < image.size(); ++i) {
    ASSERT_NE(image[i], 0xFF) << "offset " << i;
  }
}

TEST(EmbeddedResourcesLookup, ServesTheConfiguredImageAsByte131Only) {
  EmbeddedResources resources;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  ASSERT_TRUE(resources.Find("BYTE", 131, &data, &size));
  ASSERT_EQ(size, kFirmwareImageSize);
  const auto source = ReadFile(EmbeddedFirmwareImageSource());
  ASSERT_EQ(source.size(), size) << EmbeddedFirmwareImageSource();
  EXPECT_TRUE(std::equal(source.begin(), source.end(), data));

  EXPECT_TRUE(resources.Find("byte", 131, &data, &size));
  EXPECT_FALSE(resources.Find("BYTE", 130, &data, &size));
  EXPECT_FALSE(resources.Find("ICON", 131, &data, &size));
  EXPECT_FALSE(resources.Find(nullptr, 131, &data, &size));
}

class ImageFileTest : public ::testing::Test {
 protected:
  void TearDown() override { std::filesystem::remove(path_); }
  void WriteBytes(std::size_t count, std::uint8_t value) {
    std::ofstream out(path_, std::ios::binary);
    const std::vector<char> bytes(count, static_cast<char>(value));
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::string path_ =
      (std::filesystem::temp_directory_path() / ("velkor_image_" + std::to_string(::getpid())))
          .string();
};

TEST_F(ImageFileTest, AnImageOfExactly65536BytesIsServedAsByte131) {
  WriteBytes(65536, 0x5C);
  std::vector<std::uint8_t> image;
  std::string error;
  ASSERT_TRUE(sim::LoadImageFile(path_, &image, &error)) << error;
  sim::ImageFileResources resources(std::move(image));
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  ASSERT_TRUE(resources.Find("BYTE", 131, &data, &size));
  EXPECT_EQ(size, 65536u);
  EXPECT_EQ(data[65535], 0x5C);
  EXPECT_FALSE(resources.Find("BYTE", 128, &data, &size));
}

TEST_F(ImageFileTest, ShortLongAndMissingFilesAreRefused) {
  std::vector<std::uint8_t> image;
  std::string error;
  for (std::size_t size : {std::size_t{0}, std::size_t{65535}, std::size_t{65537}}) {
    WriteBytes(size, 0);
    EXPECT_FALSE(sim::LoadImageFile(path_, &image, &error)) << size;
    EXPECT_NE(error.find(std::to_string(size) + " bytes"), std::string::npos) << error;
  }
  std::filesystem::remove(path_);
  EXPECT_FALSE(sim::LoadImageFile(path_, &image, &error));
  EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
  EXPECT_TRUE(image.empty());
}

}  // namespace
}  // namespace velkor
