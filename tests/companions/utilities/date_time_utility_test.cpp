// DateTimeUtility: elapsed time between local date-times (across days and the daylight-saving
// changes of Europe/Berlin) and duration texts.
#include <gtest/gtest.h>

#include "automation/convert.h"
#include "companions/utilities/date_time_utility.h"
#include "support/test_support.h"

namespace tarvex::companions::utilities {
namespace {

using automation::Variant;

TEST(date_time_utility, duration_is_the_real_elapsed_time) {
  struct Case {
    const char* start;
    const char* end;
    double seconds;
  };
  const Case cases[] = {
      {"2026-01-31 23:59:59", "2026-02-01 00:00:01", 2},
      {"2024-02-28 12:00:00", "2024-03-01 12:00:00", 2 * 86400},  // leap day
      {"2026-03-29 01:30:00", "2026-03-29 03:30:00", 3600},       // clocks go forward
      {"2026-10-24 12:00:00", "2026-10-25 12:00:00", 90000},      // a 25-hour day
      {"2026-01-10 09:02:03", "2026-01-10 08:00:00", -3723},
      {"2026-01-10", "2026-01-11 00:00:10", 86410},
  };
  DateTimeUtilityImpl utility;
  for (const Case& c : cases) {
    EXPECT_EQ(utility.DurationBetween(c.start, c.end).as_double(), c.seconds) << c.start;
  }
  auto e = test_support::error_of([&] { utility.DurationBetween("2026-01-10 08:00:00", "later"); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->number(), 13);
  EXPECT_EQ(e->source(), "Toolkit_83.DateTimeUtility");
  EXPECT_NE(e->description().find("'later'"), std::string::npos);
}

TEST(date_time_utility, duration_text_rounds_to_the_second_and_shows_days_and_sign) {
  const std::pair<Variant, const char*> cases[] = {
      {59.4, "00:00:59"},          {59.5, "00:01:00"},
      {86401.0, "1 day 00:00:01"}, {3 * 86400.0 + 4 * 3600 + 5 * 60 + 6, "3 days 04:05:06"},
      {-90.0, "-00:01:30"},        {std::int16_t{-5}, "-00:00:05"},
  };
  DateTimeUtilityImpl utility;
  for (const auto& [duration, text] : cases) {
    EXPECT_EQ(utility.DurationText(duration), text) << automation::to_text(duration);
  }
  const std::pair<Variant, std::int32_t> refused[] = {{Variant("3600"), 13}, {Variant(1e300), 6}};
  for (const auto& [value, number] : refused) {
    EXPECT_EQ(test_support::error_number_of([&] { utility.DurationText(value); }), number);
  }
}

}  // namespace
}  // namespace tarvex::companions::utilities
