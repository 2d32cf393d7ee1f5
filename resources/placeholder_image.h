// The placeholder firmware image shipped in resources/firmware.bin: deterministic filler bytes
// around a small configuration block that makes the write-protect restore do real work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velkor {

constexpr std::size_t kPlaceholderImageSize = 65536;

// Flash offsets of the configuration block as the update reads it back. The "D" bytes must be
// at least 0x35 and the "F" bytes have bit 7 set so that restoring the protection rewrites the
// flash status register; the F bytes double as the configuration byte read before the erase.
constexpr std::uint16_t kPlaceholderDOffsets[] = {0x0003, 0x5803, 0x8003, 0xC003};
constexpr std::uint16_t kPlaceholderFOffsets[] = {0x000F, 0x0034, 0x5834, 0x8034, 0xC034};
constexpr std::uint8_t kPlaceholderDByte = 0x5A;
// Bit 7 set; pin 3 (bits 4..6); polarity 1 = the pin is driven low while writing.
constexpr std::uint8_t kPlaceholderConfigByte = 0xB1;

// Filler from a seeded xorshift generator with 0xFF mapped to 0x7F, so that no byte of the
// image equals erased flash and a chunk that never reached the flash always shows on read-back.
std::vector<std::uint8_t> MakeFillerBytes(std::uint32_t seed, std::size_t size);

// Writes the configuration block (the D and F bytes above) into an image of 65,536 bytes. A
// camera's current firmware carries the same block: it describes the board, and the update
// reads the configuration byte from the flash before erasing it.
void ApplyConfigurationBlock(std::vector<std::uint8_t>& image);

// The whole placeholder image: filler of seed kPlaceholderSeed, a marker text at 0x0100 and
// the configuration block above.
constexpr std::uint32_t kPlaceholderSeed = 0x52303630;  // "R060"
std::vector<std::uint8_t> MakePlaceholderImage();

}  // namespace velkor
