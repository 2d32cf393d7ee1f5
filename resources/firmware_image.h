// The firmware image embedded in the program at build time (the file named by the CMake cache
// variable VELKOR_FIRMWARE_IMAGE, 65,536 bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace velkor {

constexpr std::size_t kFirmwareImageSize = 65536;

// The embedded bytes; valid for the life of the process.
std::span<const std::uint8_t, kFirmwareImageSize> EmbeddedFirmwareImage();
// The path of the file the bytes were taken from at build time.
const char* EmbeddedFirmwareImageSource();

}  // namespace velkor
