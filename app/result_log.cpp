// Writing "Result.log" byte for byte, and ending the process through the Process port.
#include "app/result_log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/ports.h"
#include "resources/firmware_version.h"

namespace velkor::app {

namespace {

constexpr char kResultLogName[] = "Result.log";
constexpr char kTemporaryName[] = "Result.log.new";
constexpr char kProbeName[] = "Result.log.probe";

const char* VerdictBytes(Verdict verdict) {
  switch (verdict) {
    case Verdict::kPass:
      return kPassVerdict;
    case Verdict::kFail:
      return "Fail";
    case Verdict::kWrongDevice:
      return "Wrong Device\r\n";
  }
  return "Fail";
}

// Binary mode: the bytes are the same on every platform. The close is checked too: a full disk
// often shows only when the buffer is flushed.
bool WriteFile(const char* name, const char* text) {
  std::FILE* file = std::fopen(name, "wb");
  if (file == nullptr) {
    return false;
  }
  const std::size_t length = std::strlen(text);
  const bool written = std::fwrite(text, 1, length, file) == length;
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

bool IsSymlink(const char* name) {
  std::error_code error;
  return std::filesystem::is_symlink(std::filesystem::symlink_status(name, error));
}

}  // namespace

bool WriteResultLog(Verdict verdict) {
  const char* text = VerdictBytes(verdict);
  if (IsSymlink(kResultLogName)) {
    return WriteFile(kResultLogName, text);  // to where the operator pointed it
  }
  std::error_code error;
  if (!WriteFile(kTemporaryName, text)) {
    std::filesystem::remove(kTemporaryName, error);
    return false;
  }
  std::filesystem::rename(kTemporaryName, kResultLogName, error);
  if (!error) {
    return true;
  }
  std::filesystem::remove(kTemporaryName, error);
  return false;
}

bool ResultLogWritable() {
  std::error_code error;
  const std::filesystem::file_status status =
      std::filesystem::symlink_status(kResultLogName, error);
  if (std::filesystem::is_symlink(status)) {
    std::FILE* target = std::fopen(kResultLogName, "ab");
    return target != nullptr && std::fclose(target) == 0;
  }
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    return false;  // a directory or a device: a rename cannot replace it
  }
  const bool created = WriteFile(kProbeName, "");
  const bool removed = std::filesystem::remove(kProbeName, error) && !error;
  return created && removed;
}

void RemoveStaleResultLog() {
  // Only a plain file of ours. The link's own status, not its target's: a symbolic link by that
  // name is neither removed nor followed, so the verdict is written through it to where the
  // operator pointed it. Anything else by that name is left alone (the update then refuses to
  // start).
  std::error_code error;
  if (std::filesystem::is_regular_file(std::filesystem::symlink_status(kResultLogName, error))) {
    std::filesystem::remove(kResultLogName, error);
  }
}

void EndProcess() {
  Process* process = CurrentPorts().process;
  if (process != nullptr) {
    process->Exit(0);
  }
  std::exit(0);  // no adapter installed: the standard library's own end
}

}  // namespace velkor::app
