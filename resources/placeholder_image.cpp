// Builds the placeholder firmware image byte for byte; see placeholder_image.h.
#include "resources/placeholder_image.h"

#include <cstring>

namespace velkor {

std::vector<std::uint8_t> MakeFillerBytes(std::uint32_t seed, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t state = seed != 0 ? seed : 1;  // xorshift32 never leaves 0
  for (auto& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<std::uint8_t>(state >> 24);
    if (byte == 0xFF) {
      byte = 0x7F;
    }
  }
  return bytes;
}

std::vector<std::uint8_t> MakePlaceholderImage() {
  std::vector<std::uint8_t> image = MakeFillerBytes(kPlaceholderSeed, kPlaceholderImageSize);
  static const char kMarker[] = "VELKOR PLACEHOLDER IMAGE R06.00.01 - NOT CAMERA FIRMWARE";
  std::memcpy(image.data() + 0x0100, kMarker, sizeof kMarker);
  ApplyConfigurationBlock(image);
  return image;
}

void ApplyConfigurationBlock(std::vector<std::uint8_t>& image) {
  if (image.size() < kPlaceholderImageSize) {
    return;
  }
  for (std::uint16_t offset : kPlaceholderDOffsets) {
    image[offset] = kPlaceholderDByte;
  }
  for (std::uint16_t offset : kPlaceholderFOffsets) {
    image[offset] = kPlaceholderConfigByte;
  }
}

}  // namespace velkor
