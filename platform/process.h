// Process port: ending the process and reading the module's embedded resources.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velkor {

class Process {
 public:
  virtual ~Process() = default;
  // Ends the whole process with this exit code, from any thread; open files are flushed and
  // closed first. Never returns (a test adapter unwinds the calling thread instead).
  [[noreturn]] virtual void Exit(int code) = 0;
};

class ModuleResources {
 public:
  virtual ~ModuleResources() = default;
  // FindResource + LoadResource + LockResource of a resource of a named custom type. On success
  // *data points at *size bytes that stay valid for the life of the process.
  virtual bool Find(const char* type, int id, const std::uint8_t** data, std::size_t* size) = 0;
};

}  // namespace velkor
