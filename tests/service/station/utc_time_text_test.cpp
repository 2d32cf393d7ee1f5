// Times typed for history --since: every accepted form comes out in the recorded form, so that
// text order is time order; anything else is refused rather than guessed at.
#include <gtest/gtest.h>

#include "service/station/utc_time_text.h"

namespace velkor::tool {
namespace {

TEST(UtcTimeTextTest, EachAcceptedFormBecomesTheRecordedForm) {
  const std::pair<const char*, const char*> cases[] = {
      {"2026-12-07", "2026-12-07T00:00:00.000Z"},
      {"2026-12-07Z", "2026-12-07T00:00:00.000Z"},
      {"2026-12-07T22:00", "2026-12-07T22:00:00.000Z"},
      {"2026-12-07T22:00Z", "2026-12-07T22:00:00.000Z"},
      {"2026-12-07T22:00:05", "2026-12-07T22:00:05.000Z"},
      {"2026-12-07T22:00:05.250Z", "2026-12-07T22:00:05.250Z"},
      {"2028-02-29T23:59:59", "2028-02-29T23:59:59.000Z"},
  };
  for (const auto& [typed, recorded] : cases) {
    EXPECT_EQ(FullUtcTime(typed).value_or("refused"), recorded) << typed;
  }
}

TEST(UtcTimeTextTest, RecordedTimesReadBackUnchanged) {
  using namespace std::chrono;
  const system_clock::time_point start = sys_days{2024y / February / 28} + 23h + 59min;
  for (const milliseconds step :
       {milliseconds(1), milliseconds(999), milliseconds(minutes(61)), milliseconds(hours(25))}) {
    const std::string recorded = UtcTimeText(start + step);
    EXPECT_EQ(FullUtcTime(recorded).value_or("refused"), recorded);
  }
}

TEST(UtcTimeTextTest, MalformedOrImpossibleTimesAreRefused) {
  for (const char* typed :
       {"", "Z", "2026-12-7", "2026/12/07", "2026-12-07 22:00", "2026-12-07T22", "2026-12-07T22:0",
        "2026-12-07T22:00:05.2", "2026-12-07T22:00+01:00", "2026-13-01", "2026-00-10", "2026-02-29",
        "2026-04-31", "2026-12-07T24:00", "2026-12-07T22:60", "2026-12-07T22:00:60",
        "2026-12-07T22:00ZZ", "x2026-12-07", "2026-12-07T22:00:05.250Zx"}) {
    EXPECT_FALSE(FullUtcTime(typed).has_value()) << typed;
  }
}

}  // namespace
}  // namespace velkor::tool
