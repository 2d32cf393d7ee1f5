// FlockCameraLock: the lock file, its flock, and the holder's record in it.
#include "platform/linux/flock_camera_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace velkor::linux_platform {

namespace {

std::string Narrow(std::u16string_view text) {
  std::string narrow;
  for (char16_t c : text) {
    narrow.push_back(c < 0x80 ? static_cast<char>(c) : '_');
  }
  return narrow;
}

std::string SafeName(std::string_view text) {
  std::string safe;
  for (char c : text) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_';
    safe.push_back(plain ? c : '_');
  }
  return safe;
}

// "4242 velkor-update" as the holder wrote it; "velkor-update (process 4242)".
std::string ReadHolder(int fd) {
  char text[128] = {};
  const ssize_t length = ::pread(fd, text, sizeof text - 1, 0);
  if (length <= 0) {
    return {};
  }
  std::string record(text, static_cast<std::size_t>(length));
  while (!record.empty() && (record.back() == '\n' || record.back() == '\0')) {
    record.pop_back();
  }
  const std::size_t space = record.find(' ');
  if (space == std::string::npos || space == 0) {
    return {};
  }
  return record.substr(space + 1) + " (process " + record.substr(0, space) + ")";
}

}  // namespace

std::string LockFileName(std::u16string_view devicePath) {
  // \\?\usb#vid_xxxx&pid_xxxx&mi_xx#<interface>#{category}\global, the interface "1-2.3:1.0".
  const std::string path = Narrow(devicePath);
  std::size_t start = path.find('#');
  start = start == std::string::npos ? start : path.find('#', start + 1);
  if (start != std::string::npos) {
    const std::size_t end = path.find_first_of(":#", start + 1);
    if (end != std::string::npos && end > start + 1) {
      return "velkor-camera-" + SafeName(path.substr(start + 1, end - start - 1)) + ".lock";
    }
  }
  return "velkor-camera-" + SafeName(path) + ".lock";
}

FlockCameraLock::FlockCameraLock(std::string programName, std::vector<std::string> directories)
    : programName_(std::move(programName)), directories_(std::move(directories)) {}

FlockCameraLock::~FlockCameraLock() {
  Release();
}

LockOutcome FlockCameraLock::Acquire(std::u16string_view devicePath, std::string* holder) {
  Release();
  const std::string name = LockFileName(devicePath);
  for (const std::string& directory : directories_) {
    const std::string path = directory + "/" + name;
    bool writable = true;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno == EACCES) {
      // Another user made the file: a read-only descriptor locks it as well.
      writable = false;
      fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    }
    if (fd < 0) {
      continue;  // no such directory here, or no right to it: the next place
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const bool busy = errno == EWOULDBLOCK;
      if (busy && holder != nullptr) {
        *holder = ReadHolder(fd);
      }
      ::close(fd);
      if (busy) {
        return LockOutcome::kBusy;
      }
      continue;
    }
    if (writable) {
      ::fchmod(fd, 0666);  // whoever comes next, of any user, can open it to lock it
      const std::string record = std::to_string(::getpid()) + " " + programName_ + "\n";
      if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(fd, record.data(), record.size(), 0);
      }
    }
    fd_ = fd;
    return LockOutcome::kAcquired;
  }
  return LockOutcome::kFailed;
}

void FlockCameraLock::Release() {
  if (fd_ >= 0) {
    // The record goes first, so that a later refusal never names a program that has ended.
    [[maybe_unused]] const int truncated = ::ftruncate(fd_, 0);
    ::close(fd_);
    fd_ = -1;
  }
}

}  // namespace velkor::linux_platform
