// DateTimeUtility: elapsed time between local date-times (across days, months and
// daylight-saving changes of Europe/Berlin) and duration texts.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <regex>

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
      {"2026-01-10 08:00:00", "2026-01-10 08:00:00", 0},
      {"2026-01-10 08:00:00", "2026-01-10 09:02:03", 3723},
      {"2026-01-31 23:59:59", "2026-02-01 00:00:01", 2},
      {"2024-02-28 12:00:00", "2024-03-01 12:00:00", 2 * 86400},  // leap day
      {"2025-12-31 23:00:00", "2026-01-01 01:00:00", 7200},
      {"2026-03-29 01:30:00", "2026-03-29 03:30:00", 3600},   // clocks go forward
      {"2026-03-28 12:00:00", "2026-03-29 12:00:00", 82800},  // a 23-hour day
      {"2026-10-24 12:00:00", "2026-10-25 12:00:00", 90000},  // a 25-hour day
      {"2026-03-01 00:00:00", "2026-04-01 00:00:00", 31 * 86400 - 3600},
      {"2026-01-10 09:02:03", "2026-01-10 08:00:00", -3723},
      {"2026-01-10", "2026-01-11 00:00:10", 86410},
      {"2026-01-10T08:00:00", "2026-01-10 08:00:30", 30},
  };
  DateTimeUtilityImpl utility;
  for (const Case& c : cases) {
    Variant duration = utility.DurationBetween(c.start, c.end);
    ASSERT_EQ(duration.kind(), automation::Kind::Double) << c.start;
    EXPECT_EQ(duration.as_double(), c.seconds) << c.start << " to " << c.end;
  }
}

TEST(date_time_utility, texts_that_are_no_date_time_are_refused_by_name) {
  DateTimeUtilityImpl utility;
  for (const char* text : {"", "yesterday", "2026-02-30 10:00:00", "2026-01-10 24:00:00",
                           "10.01.2026 08:00:00", "2026-01-10 08:00"}) {
    for (bool as_start : {true, false}) {
      const std::string other = "2026-01-10 08:00:00";
      auto e = test_support::error_of([&] {
        as_start ? utility.DurationBetween(text, other) : utility.DurationBetween(other, text);
      });
      ASSERT_TRUE(e) << "accepted '" << text << "'";
      EXPECT_EQ(e->number(), 13);
      EXPECT_EQ(e->source(), "Toolkit_83.DateTimeUtility");
      EXPECT_NE(e->description().find(fmt::format("'{}'", text)), std::string::npos);
    }
  }
}

TEST(date_time_utility, duration_text_shows_days_and_sign) {
  const std::pair<Variant, const char*> cases[] = {
      {0.0, "00:00:00"},
      {59.4, "00:00:59"},
      {59.5, "00:01:00"},
      {3723.0, "01:02:03"},
      {86399.0, "23:59:59"},
      {86401.0, "1 day 00:00:01"},
      {3 * 86400.0 + 4 * 3600 + 5 * 60 + 6, "3 days 04:05:06"},
      {-90.0, "-00:01:30"},
      {-86400.0, "-1 day 00:00:00"},
      {-0.4, "00:00:00"},
      {std::int32_t{120}, "00:02:00"},
      {std::int16_t{-5}, "-00:00:05"},
      {400 * 86400.0, "400 days 00:00:00"},
  };
  DateTimeUtilityImpl utility;
  for (const auto& [duration, text] : cases) {
    EXPECT_EQ(utility.DurationText(duration), text) << automation::to_text(duration);
  }
}

TEST(date_time_utility, duration_text_refuses_what_is_no_duration) {
  DateTimeUtilityImpl utility;
  const std::pair<Variant, std::int32_t> cases[] = {
      {Variant("3600"), 13}, {Variant(), 13},     {Variant(automation::Null{}), 13},
      {Variant(true), 13},   {Variant(1e300), 6},
  };
  for (const auto& [value, number] : cases) {
    EXPECT_EQ(test_support::error_number_of([&] { utility.DurationText(value); }), number)
        << automation::kind_name(value.kind());
  }
}

TEST(date_time_utility, timestamp_is_local_now_and_feeds_durations) {
  DateTimeUtilityImpl utility;
  std::string before = utility.CurrentTimestampText();
  ASSERT_TRUE(std::regex_match(before, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"))) << before;
  double elapsed = utility.DurationBetween(before, utility.CurrentTimestampText()).as_double();
  EXPECT_GE(elapsed, 0);
  EXPECT_LE(elapsed, 5);
}

}  // namespace
}  // namespace tarvex::companions::utilities
