// MutexCameraLock: the mutex's name and its non-waiting acquisition.
#include "platform/win32/mutex_camera_lock.h"

#include <cstdint>

#include "platform/win32/windows_api.h"

namespace velkor::win32 {

namespace {
constexpr std::size_t kLongestPathPart = 180;  // the whole name stays well under MAX_PATH
}

std::wstring CameraMutexName(std::u16string_view devicePath) {
  std::wstring part;
  std::uint32_t hash = 2166136261u;  // FNV-1a over the lower-cased path
  for (char16_t c : devicePath) {
    const wchar_t lower =
        (c >= u'A' && c <= u'Z') ? static_cast<wchar_t>(c - u'A' + u'a') : static_cast<wchar_t>(c);
    hash = (hash ^ static_cast<std::uint32_t>(lower)) * 16777619u;
    part.push_back(lower == L'\\' ? L'_' : lower);
  }
  if (part.size() > kLongestPathPart) {
    // The hash in hex by hand: the C runtime's wide formatting would import functions beyond
    // those the updater may use.
    std::wstring suffix = L"-";
    for (int shift = 28; shift >= 0; shift -= 4) {
      suffix.push_back(L"0123456789abcdef"[(hash >> shift) & 0xF]);
    }
    part = part.substr(0, kLongestPathPart) + suffix;
  }
  return L"Global\\velkor-camera-" + part;
}

MutexCameraLock::~MutexCameraLock() {
  Release();
}

LockOutcome MutexCameraLock::Acquire(std::u16string_view devicePath, std::string* holder) {
  Release();
  if (holder != nullptr) {
    holder->clear();  // Windows does not tell who owns a mutex
  }
  const std::wstring name = CameraMutexName(devicePath);
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  if (mutex == nullptr) {
    return LockOutcome::kFailed;
  }
  const DWORD waited = WaitForSingleObject(mutex, 0);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
    // Abandoned: the last holder ended without releasing it; the camera is free now.
    mutex_ = mutex;
    return LockOutcome::kAcquired;
  }
  CloseHandle(mutex);
  return waited == WAIT_TIMEOUT ? LockOutcome::kBusy : LockOutcome::kFailed;
}

void MutexCameraLock::Release() {
  if (mutex_ != nullptr) {
    ReleaseMutex(static_cast<HANDLE>(mutex_));
    CloseHandle(static_cast<HANDLE>(mutex_));
    mutex_ = nullptr;
  }
}

}  // namespace velkor::win32
