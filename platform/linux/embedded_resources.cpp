// Serves the firmware image compiled in from resources/ as resource "BYTE" 131.
#include "platform/linux/embedded_resources.h"

#include <strings.h>

#include "resources/firmware_image.h"

namespace velkor {

bool EmbeddedResources::Find(const char* type, int id, const std::uint8_t** data,
                             std::size_t* size) {
  if (type == nullptr || data == nullptr || size == nullptr) {
    return false;
  }
  // Resource type names compare without regard to case, as FindResource does.
  if (strcasecmp(type, "BYTE") != 0 || id != 131) {
    return false;
  }
  const auto image = EmbeddedFirmwareImage();
  *data = image.data();
  *size = image.size();
  return true;
}

}  // namespace velkor
