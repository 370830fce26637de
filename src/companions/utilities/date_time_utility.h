// DateTimeUtility: the current time stamp and durations between local date-times.
//
// Durations are real elapsed time: both ends are local wall-clock times of the process's time
// zone (TZ), each turned into an absolute instant under that zone's daylight-saving rules, so
// that 01:30 to 03:30 on the night the clocks go forward is one hour. A wall-clock time that
// occurs twice (clocks going back) is taken as the system's mktime takes it.
#pragma once

#include "contracts/companions.h"

namespace tarvex::companions::utilities {

class DateTimeUtilityImpl : public contracts::DateTimeUtility {
 public:
  // Local time, "YYYY-MM-DD HH:MM:SS".
  std::string CurrentTimestampText() override;
  // Seconds from `start` to `end` as a Double (negative when `end` comes first). Each text is
  // "YYYY-MM-DD HH:MM:SS" (or "YYYY-MM-DD"); any other text raises 13 naming it.
  contracts::Variant DurationBetween(const std::string& start, const std::string& end) override;
  // Whole seconds (rounded half away from zero) as "HH:MM:SS", with "1 day " or "N days " in
  // front when there are days, and "-" in front of a negative duration: "3 days 04:05:06",
  // "-00:01:30". A value that is not a number raises 13; one beyond any calendar, 6.
  std::string DurationText(const contracts::Variant& duration) override;
};

}  // namespace tarvex::companions::utilities
