// Whole-flash transfers with progress: the request tap counts the transfer's requests and the
// report turns the count into percent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "service/image_file.h"
#include "service/report.h"
#include "service/request_tap.h"

namespace velkor::tool {

// A whole-flash read is one read request and 8,192 data requests of 8 bytes; a write is 8,192
// requests. Only the percentages depend on these.
constexpr std::uint64_t kWholeFlashReadRequests = kFlashSize / 8 + 1;
constexpr std::uint64_t kWholeFlashWriteRequests = kFlashSize / 8;

// Reports the step's progress from the tap's request count while alive.
class ProgressScope {
 public:
  ProgressScope(RequestTap& tap, Report& report, std::string step, std::uint64_t expected);
  ~ProgressScope();
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

 private:
  RequestTap& tap_;
};

// Reads the whole flash of the open camera in one transfer, as the updater's read-back does.
bool ReadWholeFlash(std::vector<std::uint8_t>* flash, RequestTap& tap, Report& report,
                    const std::string& step);

}  // namespace velkor::tool
