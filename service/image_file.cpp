// Image files of the tool.
#include "service/image_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace velkor::tool {

bool LoadImageFile(const std::string& path, std::vector<std::uint8_t>* image, std::string* error) {
  std::error_code code;
  if (std::filesystem::is_directory(path, code)) {
    *error = path + ": is a directory";
    return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  // One byte more than needed, so that a longer file shows as one.
  std::vector<std::uint8_t> bytes(kFlashSize + 1);
  const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
  const bool readError = std::ferror(file) != 0;
  std::fclose(file);
  if (readError) {
    *error = path + ": read error";
    return false;
  }
  if (got != kFlashSize) {
    *error = path + ": " + (got > kFlashSize ? "more than" : std::to_string(got) + " bytes, not") +
             " 65,536 bytes (the size of the flash)";
    return false;
  }
  bytes.resize(kFlashSize);
  *image = std::move(bytes);
  return true;
}

std::string TemporaryNameFor(const std::string& path) {
  return path + ".part";
}

bool SaveFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                        std::string* error) {
  const std::string temporary = TemporaryNameFor(path);
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    *error = temporary + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;  // the buffered tail reaches the disk here
  std::error_code code;
  if (!written || !closed) {
    *error = temporary + ": write error (disk full?)";
    std::filesystem::remove(temporary, code);
    return false;
  }
  std::filesystem::rename(temporary, path, code);
  if (code) {
    *error = path + ": " + code.message();
    std::filesystem::remove(temporary, code);
    return false;
  }
  return true;
}

}  // namespace velkor::tool
