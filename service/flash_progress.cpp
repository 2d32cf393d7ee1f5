// Whole-flash transfers through the access library.
#include "service/flash_progress.h"

#include "access/access_calls.h"

namespace velkor::tool {

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
  ProgressScope progress(tap, report, step, kWholeFlashReadRequests);
  return access::ReadMemory(0, flash->data(), static_cast<std::uint32_t>(kFlashSize));
}

}  // namespace velkor::tool
