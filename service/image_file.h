// Firmware image files: reading one of exactly the flash's size, and writing a flash dump so
// that the final name only ever holds a complete file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velkor::tool {

constexpr std::size_t kFlashSize = 65536;

// Reads the file; fails with a one-line error unless it holds exactly kFlashSize bytes.
bool LoadImageFile(const std::string& path, std::vector<std::uint8_t>* image, std::string* error);

// Writes the bytes to "<path>.part", then renames that over path. On failure the temporary
// file is removed and path is left as it was.
bool SaveFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                        std::string* error);

// The name SaveFileAtomically writes before renaming.
std::string TemporaryNameFor(const std::string& path);

}  // namespace velkor::tool
