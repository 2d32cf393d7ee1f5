// The write: the update flow with the image from a file, an optional backup of the old flash
// first, the blank check after the erase and the status read after the restore, reported step
// by step.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/clock.h"
#include "service/camera_catalog.h"
#include "service/report.h"
#include "service/request_tap.h"

namespace velkor::tool {

// The tool's own text for an unconfirmed restore; the others are the updater's.
constexpr char kTextRestoreFailed[] = "Protection restore failed!!!";

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
