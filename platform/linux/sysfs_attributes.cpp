// Small readers for sysfs: text attributes, binary attributes and sorted directory listings.
#include "platform/linux/sysfs_attributes.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

namespace velkor::linux_platform {

namespace fs = std::filesystem;

std::optional<std::string> ReadTextAttribute(const fs::path& file) {
  std::ifstream in(file);
  if (!in) {
    return std::nullopt;
  }
  std::string line;
  if (!std::getline(in, line) && !in.eof()) {
    return std::nullopt;
  }
  while (!line.empty() && (line.back() == ' ' || line.back() == '\n' || line.back() == '\r' ||
                           line.back() == '\t')) {
    line.pop_back();
  }
  return line;
}

namespace {

// At most eight digits, so that the value fits 32 bits in either base; anything else (empty,
// signs, other characters) is not a number we read.
std::optional<std::uint32_t> ReadNumberAttribute(const fs::path& file, std::uint32_t base) {
  std::optional<std::string> text = ReadTextAttribute(file);
  if (!text || text->empty() || text->size() > 8) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  for (char c : *text) {
    std::uint32_t digit = base;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint32_t>(c - 'A' + 10);
    }
    if (digit >= base) {
      return std::nullopt;
    }
    value = value * base + digit;
  }
  return value;
}

}  // namespace

std::optional<std::uint32_t> ReadHexAttribute(const fs::path& file) {
  return ReadNumberAttribute(file, 16);
}

std::optional<std::uint32_t> ReadDecimalAttribute(const fs::path& file) {
  return ReadNumberAttribute(file, 10);
}

std::optional<std::vector<std::uint8_t>> ReadBinaryAttribute(const fs::path& file,
                                                             std::size_t maxBytes) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  char chunk[4096];
  while (bytes.size() < maxBytes && in) {
    std::size_t wanted = std::min(sizeof(chunk), maxBytes - bytes.size());
    in.read(chunk, static_cast<std::streamsize>(wanted));
    std::streamsize got = in.gcount();
    if (got <= 0) {
      break;
    }
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  if (in.bad()) {
    return std::nullopt;
  }
  return bytes;
}

std::vector<std::string> ListDirectorySorted(const fs::path& directory) {
  std::vector<std::string> names;
  std::error_code error;
  fs::directory_iterator it(directory, error);
  const fs::directory_iterator end;
  while (!error && it != end) {
    names.push_back(it->path().filename().string());
    it.increment(error);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<fs::path> ResolvePath(const fs::path& path) {
  std::error_code error;
  fs::path resolved = fs::canonical(path, error);
  if (error) {
    return std::nullopt;
  }
  return resolved;
}

}  // namespace velkor::linux_platform
