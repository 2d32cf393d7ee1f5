// Whole-flash transfers through the access library.
#include "service/flash_progress.h"

#include "access/access_calls.h"
#include "service/image_file.h"

namespace velkor::tool {

namespace {

// A whole-flash read is one read request and 8,192 data requests of 8 bytes; a write is 8,192
// requests. Only the percentages depend on these.
constexpr std::uint64_t kReadRequests = kFlashSize / 8 + 1;
constexpr std::uint64_t kWriteRequests = kFlashSize / 8;

}  // namespace

ProgressScope::ProgressScope(RequestTap& tap, Report& report, std::string step,
                             std::uint64_t expected)
    : tap_(tap) {
  const std::uint64_t start = tap.count();
  tap.SetObserver([&report, step = std::move(step), start, expected](std::uint64_t count) {
    report.Progress(step, static_cast<int>((count - start) * 100 / expected));
  });
}

ProgressScope::~ProgressScope() {
  tap_.SetObserver(nullptr);
}

bool ReadWholeFlash(std::vector<std::uint8_t>* flash, RequestTap& tap, Report& report,
                    const std::string& step) {
  flash->assign(kFlashSize, 0);
  ProgressScope progress(tap, report, step, kReadRequests);
  return access::ReadMemory(0, flash->data(), static_cast<std::uint32_t>(kFlashSize));
}

bool WriteWholeFlash(const std::vector<std::uint8_t>& image, RequestTap& tap, Report& report,
                     const std::string& step) {
  ProgressScope progress(tap, report, step, kWriteRequests);
  return access::WriteMemory(0, image.data(), static_cast<std::uint32_t>(image.size()));
}

Comparison Compare(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  Comparison result;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (a[i] != b[i]) {
      if (result.equal) {
        result.firstDifference = static_cast<std::uint32_t>(i);
      }
      result.equal = false;
      ++result.differingBytes;
    }
  }
  return result;
}

}  // namespace velkor::tool
