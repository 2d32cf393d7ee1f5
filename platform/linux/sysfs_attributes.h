// Small readers for sysfs: text attributes, binary attributes and sorted directory listings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velkor::linux_platform {

// The attribute's first line without trailing white space; nothing when it cannot be read.
std::optional<std::string> ReadTextAttribute(const std::filesystem::path& file);

// A text attribute holding a hexadecimal number ("5d1a", "0e"); nothing when absent or not hex.
std::optional<std::uint32_t> ReadHexAttribute(const std::filesystem::path& file);
// A text attribute holding a decimal number (bConfigurationValue is written with "%u").
std::optional<std::uint32_t> ReadDecimalAttribute(const std::filesystem::path& file);

// Up to maxBytes of a binary attribute such as a USB device's "descriptors".
std::optional<std::vector<std::uint8_t>> ReadBinaryAttribute(const std::filesystem::path& file,
                                                             std::size_t maxBytes);

// Names of the directory's entries in byte order; empty when the directory cannot be read.
std::vector<std::string> ListDirectorySorted(const std::filesystem::path& directory);

// The path with every symbolic link resolved; nothing when it does not exist.
std::optional<std::filesystem::path> ResolvePath(const std::filesystem::path& path);

}  // namespace velkor::linux_platform
