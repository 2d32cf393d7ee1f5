// Process port (ending the process) and module resources on kernel32.
#pragma once

#include "platform/process.h"

namespace velkor::win32 {

class Win32Process : public Process {
 public:
  [[noreturn]] void Exit(int code) override;
};

// Resources of the executable's own module.
class Win32ModuleResources : public ModuleResources {
 public:
  bool Find(const char* type, int id, const std::uint8_t** data, std::size_t* size) override;
};

}  // namespace velkor::win32
