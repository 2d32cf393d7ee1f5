// Module resources that serve a firmware image read from a file as "BYTE" 131, for runs that
// write another image than the one built into the program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/process.h"

namespace velkor::sim {

// Reads the whole file; fails with a one-line error unless it holds exactly 65,536 bytes (the
// updater writes that many bytes whatever the image's size).
bool LoadImageFile(const std::string& path, std::vector<std::uint8_t>* image, std::string* error);

class ImageFileResources : public ModuleResources {
 public:
  explicit ImageFileResources(std::vector<std::uint8_t> image) : image_(std::move(image)) {}
  bool Find(const char* type, int id, const std::uint8_t** data, std::size_t* size) override;

 private:
  std::vector<std::uint8_t> image_;
};

}  // namespace velkor::sim
