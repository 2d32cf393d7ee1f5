// Whole-flash transfers with progress: the request tap counts the transfer's requests and the
// report turns the count into percent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "service/report.h"
#include "service/request_tap.h"

namespace velkor::tool {

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
// Writes the whole image in one transfer, as the updater does.
bool WriteWholeFlash(const std::vector<std::uint8_t>& image, RequestTap& tap, Report& report,
                     const std::string& step);

struct Comparison {
  bool equal = true;
  std::uint32_t firstDifference = 0;  // valid when !equal
  std::uint32_t differingBytes = 0;
};
Comparison Compare(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);

}  // namespace velkor::tool
