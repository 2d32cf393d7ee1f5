// Loading a replacement firmware image and serving it as the module's image resource.
#include "rigs/sim_frontend/image_file_resources.h"

#include <cctype>
#include <fstream>
#include <iterator>

#include "resources/placeholder_image.h"

namespace velkor::sim {
namespace {
bool EqualsIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::toupper(static_cast<unsigned char>(*a)) !=
        std::toupper(static_cast<unsigned char>(*b))) {
      return false;
    }
  }
  return *a == *b;
}
}  // namespace

bool LoadImageFile(const std::string& path, std::vector<std::uint8_t>* image, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "--image: cannot open \"" + path + "\"";
    return false;
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (in.bad()) {
    *error = "--image: cannot read \"" + path + "\"";
    return false;
  }
  if (bytes.size() != kPlaceholderImageSize) {
    *error = "--image: \"" + path + "\" has " + std::to_string(bytes.size()) +
             " bytes; a firmware image has exactly 65536";
    return false;
  }
  *image = std::move(bytes);
  return true;
}

bool ImageFileResources::Find(const char* type, int id, const std::uint8_t** data,
                              std::size_t* size) {
  if (type == nullptr || data == nullptr || size == nullptr || image_.empty()) {
    return false;
  }
  if (!EqualsIgnoringCase(type, "BYTE") || id != 131) {
    return false;
  }
  *data = image_.data();
  *size = image_.size();
  return true;
}

}  // namespace velkor::sim
