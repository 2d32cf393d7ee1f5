// The module's embedded resources on Linux: the firmware image linked into the program,
// served as the custom resource "BYTE" 131.
#pragma once

#include "platform/process.h"

namespace velkor {

class EmbeddedResources : public ModuleResources {
 public:
  bool Find(const char* type, int id, const std::uint8_t** data, std::size_t* size) override;
};

}  // namespace velkor
