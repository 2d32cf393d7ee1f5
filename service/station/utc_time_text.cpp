#include "service/station/utc_time_text.h"

#include <cstddef>
#include <cstdio>

namespace velkor::tool {

namespace {

// The recorded form; a shorter typed form is a prefix of it plus a separator pattern.
constexpr char kPattern[] = "dddd-dd-ddTdd:dd:dd.ddd";
constexpr std::size_t kLengths[] = {10, 16, 19, 23};  // date, minutes, seconds, milliseconds
constexpr char kPadding[] = "T00:00:00.000";

bool Matches(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char want = kPattern[i];
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (want == 'd' ? !digit : text[i] != want) {
      return false;
    }
  }
  return true;
}

int Number(const std::string& text, std::size_t at, std::size_t digits) {
  int value = 0;
  for (std::size_t i = at; i < at + digits; ++i) {
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

int DaysIn(int year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<std::string> FullUtcTime(const std::string& typed) {
  std::string text = typed;
  if (!text.empty() && text.back() == 'Z') {
    text.pop_back();
  }
  bool knownLength = false;
  for (const std::size_t length : kLengths) {
    knownLength = knownLength || text.size() == length;
  }
  if (!knownLength || !Matches(text)) {
    return std::nullopt;
  }
  text += std::string(kPadding).substr(text.size() - 10);
  const int year = Number(text, 0, 4);
  const int month = Number(text, 5, 2);
  const int day = Number(text, 8, 2);
  if (month < 1 || month > 12 || day < 1 || day > DaysIn(year, month) || Number(text, 11, 2) > 23 ||
      Number(text, 14, 2) > 59 || Number(text, 17, 2) > 59) {
    return std::nullopt;
  }
  return text + "Z";
}

std::string UtcTimeText(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto milliseconds = floor<std::chrono::milliseconds>(time);
  const auto day = floor<days>(milliseconds);
  const year_month_day date(day);
  const hh_mm_ss clock(milliseconds - day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(date.year()),
                unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                int(clock.minutes().count()), int(clock.seconds().count()),
                int(clock.subseconds().count()));
  return text;
}

}  // namespace velkor::tool
