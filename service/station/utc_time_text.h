// Times as the attempt record keeps them: UTC, ISO 8601 with milliseconds, so that text order
// is time order.
#pragma once

#include <chrono>
#include <string>

namespace velkor::tool {

std::string UtcTimeText(std::chrono::system_clock::time_point time);  // 2026-12-07T22:45:01.123Z

}  // namespace velkor::tool
