// Times as the attempt record keeps them: UTC, ISO 8601 with milliseconds, so that text order
// is time order.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace velkor::tool {

std::string UtcTimeText(std::chrono::system_clock::time_point time);  // 2026-12-07T22:45:01.123Z

// A time typed on the command line, as the full recorded form: a date (2026-12-07, midnight),
// or a date and time to minutes, seconds or milliseconds (2026-12-07T22:00, ...T22:00:05,
// ...T22:00:05.250), each optionally ending in Z. Nothing when the text is none of these or
// names no real time (month 13, 25 o'clock, ...).
std::optional<std::string> FullUtcTime(const std::string& text);

}  // namespace velkor::tool
