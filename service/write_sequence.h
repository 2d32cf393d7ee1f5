// The write: the updater's sequence over the access library with the image from a file, and
// an optional backup of the old flash first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/clock.h"
#include "service/camera_catalog.h"
#include "service/report.h"
#include "service/request_tap.h"

namespace velkor::tool {

// The updater's status texts, and the tool's own for an unconfirmed restore.
constexpr char kTextInitializeFailed[] = "Device Initialize failed!!!";
constexpr char kTextEraseFailed[] = "Erase failed!!!";
constexpr char kTextWriteFailed[] = "Write firmware Failed!!!";
constexpr char kTextCheckFailed[] = "Check flash data Failed!!!";
constexpr char kTextFinished[] = "Update Finish.";
constexpr char kTextRestoreFailed[] = "Protection restore failed!!!";

// Restores tried before the protection counts as not restored.
constexpr int kRestoreAttempts = 3;

struct WriteRequest {
  const DeviceEntry* device = nullptr;
  std::vector<std::uint8_t> image;  // exactly the flash's size
  std::string backupFile;           // empty: no backup
};

struct WriteOutcome {
  int exitCode = 0;
  std::string statusText;  // the updater's status text for the end of the sequence
  nlohmann::json fields;   // the summary's details
};

WriteOutcome RunWrite(const WriteRequest& request, Clock& clock, RequestTap& tap, Report& report);

}  // namespace velkor::tool
