// Process port and module resources on kernel32.
#include "platform/win32/win32_process.h"

#include <cstdio>
#include <iostream>

#include "platform/win32/windows_api.h"

namespace velkor::win32 {

// Called from the worker while the user-interface thread may still be inside the dialog: the C
// and C++ standard streams are flushed, then ExitProcess ends every thread at once. std::exit
// would run static destructors under the feet of the still running user-interface thread.
void Win32Process::Exit(int code) {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  ExitProcess(static_cast<UINT>(code));
}

bool Win32ModuleResources::Find(const char* type, int id, const std::uint8_t** data,
                                std::size_t* size) {
  HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(id), type);
  if (resource == nullptr) {
    return false;
  }
  HGLOBAL loaded = LoadResource(nullptr, resource);
  if (loaded == nullptr) {
    return false;
  }
  const DWORD bytes = SizeofResource(nullptr, resource);
  const void* locked = LockResource(loaded);
  if (locked == nullptr) {
    return false;
  }
  // Resources of the executable stay mapped for the life of the process.
  *data = static_cast<const std::uint8_t*>(locked);
  *size = bytes;
  return true;
}

}  // namespace velkor::win32
