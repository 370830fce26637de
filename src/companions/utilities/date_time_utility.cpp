// DateTimeUtility: time stamps, elapsed time across daylight-saving changes, duration texts.
#include "companions/utilities/date_time_utility.h"

#include <date/date.h>
#include <fmt/format.h>

#include <cerrno>
#include <cmath>
#include <ctime>

#include "automation/convert.h"
#include "companions/utilities/utility_error.h"

namespace tarvex::companions::utilities {

namespace {

constexpr std::string_view kClass = "DateTimeUtility";
constexpr std::int64_t kSecondsPerDay = 86400;
// About 31 million years: far beyond any date, well inside what a double holds exactly.
constexpr double kLargestDuration = 1e15;

// The absolute instant (seconds since the epoch) of a local date-time text.
std::int64_t instant_of(const std::string& text) {
  auto local = automation::parse_date_time(text);
  if (!local) {
    raise_error(kClass, automation::RuntimeError::TypeMismatch,
                "'" + text + "' is not a date and time (YYYY-MM-DD HH:MM:SS)");
  }
  std::int64_t days = local->local_seconds / kSecondsPerDay;
  std::int64_t seconds = local->local_seconds % kSecondsPerDay;
  if (seconds < 0) seconds += kSecondsPerDay, --days;
  date::year_month_day ymd{date::sys_days{date::days{days}}};
  std::tm civil{};
  civil.tm_year = static_cast<int>(ymd.year()) - 1900;
  civil.tm_mon = static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
  civil.tm_mday = static_cast<int>(static_cast<unsigned>(ymd.day()));
  civil.tm_hour = static_cast<int>(seconds / 3600);
  civil.tm_min = static_cast<int>(seconds / 60 % 60);
  civil.tm_sec = static_cast<int>(seconds % 60);
  civil.tm_isdst = -1;  // let the zone's rules say whether summer time applies
  errno = 0;
  std::time_t instant = std::mktime(&civil);
  if (instant == static_cast<std::time_t>(-1) && errno == EOVERFLOW) {
    raise_error(kClass, automation::RuntimeError::Overflow,
                "'" + text + "' is outside the time zone's range");
  }
  return static_cast<std::int64_t>(instant);
}

}  // namespace

std::string DateTimeUtilityImpl::CurrentTimestampText() {
  return automation::date_time_text(automation::now_local());
}

contracts::Variant DateTimeUtilityImpl::DurationBetween(const std::string& start,
                                                        const std::string& end) {
  std::int64_t from = instant_of(start);
  std::int64_t to = instant_of(end);
  return static_cast<double>(to - from);
}

std::string DateTimeUtilityImpl::DurationText(const contracts::Variant& duration) {
  if (!duration.is_numeric()) {
    raise_error(kClass, automation::RuntimeError::TypeMismatch,
                "a duration is a number of seconds, not " +
                    std::string(automation::kind_name(duration.kind())));
  }
  double value = automation::to_double(duration);
  if (!std::isfinite(value) || std::fabs(value) > kLargestDuration) {
    raise_error(kClass, automation::RuntimeError::Overflow, "the duration is out of range");
  }
  std::int64_t total = std::llround(value);
  bool negative = total < 0;
  if (negative) total = -total;
  std::int64_t days = total / kSecondsPerDay;
  std::int64_t rest = total % kSecondsPerDay;
  std::string text = negative ? "-" : "";
  if (days == 1) text += "1 day ";
  if (days > 1) text += fmt::format("{} days ", days);
  text += fmt::format("{:02}:{:02}:{:02}", rest / 3600, rest / 60 % 60, rest % 60);
  return text;
}

}  // namespace tarvex::companions::utilities
