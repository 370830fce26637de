// The variant conversions. Every rule that decides what a value means as another type is here.
#include "automation/convert.h"

#include <fmt/format.h>

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <utility>

#include <date/date.h>

#include "automation/error.h"
#include "automation/text.h"

namespace tarvex::automation {

namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Integral result of a numeric conversion, checked against the target range.
template <class T>
T checked_round(double value) {
  if (std::isnan(value)) raise(RuntimeError::Overflow);
  double rounded = std::nearbyint(value);  // the default rounding mode sends halves to even
  if (rounded < static_cast<double>(std::numeric_limits<T>::min()) ||
      rounded > static_cast<double>(std::numeric_limits<T>::max())) {
    raise(RuntimeError::Overflow);
  }
  return static_cast<T>(rounded);
}

constexpr std::int64_t kSecondsPerDay = 86400;
// 1899-12-30, the platform's day zero, as days before 1970-01-01.
constexpr std::int64_t kSerialEpochDays = 25569;

}  // namespace

std::optional<double> parse_number(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && is_blank(text[begin])) ++begin;
  while (end > begin && is_blank(text[end - 1])) --end;
  std::string_view s = text.substr(begin, end - begin);

  // Check the grammar ourselves: from_chars would also take "inf", "nan" and hex forms.
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t int_digits = 0;
  while (i < s.size() && is_digit(s[i])) ++i, ++int_digits;
  std::size_t frac_digits = 0;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && is_digit(s[i])) ++i, ++frac_digits;
  }
  if (int_digits + frac_digits == 0) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t exp_digits = 0;
    while (i < s.size() && is_digit(s[i])) ++i, ++exp_digits;
    if (exp_digits == 0) return std::nullopt;
  }
  if (i != s.size()) return std::nullopt;

  std::string_view digits = s;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  double value = 0;
  auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: still a number, just not a representable one.
    bool negative = digits.front() == '-';
    bool tiny =
        s.find_first_of("eE") != std::string_view::npos && s[s.find_first_of("eE") + 1] == '-';
    if (tiny) return negative ? -0.0 : 0.0;
    return negative ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
  }
  if (ec != std::errc() || ptr != digits.data() + digits.size()) return std::nullopt;
  return value;
}

std::string number_text(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  if (value == 0) return "0";  // also for -0
  // Whole hundredths (percentages, amounts): the double nearest k / 100 for |k| < 10^15 prints
  // under "%.15g" as that decimal, its trailing zeros dropped; writing it is ten times faster.
  if (const double k = std::nearbyint(value * 100); std::fabs(k) < 1e15 && k / 100 == value) {
    const auto hundredths = static_cast<std::uint64_t>(std::fabs(k));
    std::string text = value < 0 ? "-" : "";
    text += std::to_string(hundredths / 100);
    if (const auto fraction = static_cast<char>(hundredths % 100); fraction != 0) {
      text += '.';
      text += static_cast<char>('0' + fraction / 10);
      if (fraction % 10 != 0) text += static_cast<char>('0' + fraction % 10);
    }
    return text;
  }
  // As printf's "%.15g", which to_chars follows exactly and several times faster.
  char buffer[32];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  std::string text(buffer, ec == std::errc() ? end : buffer);
  for (char& c : text) {
    if (c == 'e') c = 'E';
  }
  return text;
}

double round_half_even(double value, int decimals) {
  if (!std::isfinite(value)) return value;
  if (decimals >= 0 && decimals <= 15) {
    // Every step below rounds monotonically and every half k + 0.5 is a double here, so the
    // computed fraction is on the same side of a half as the exact one, or exactly a half (left
    // to printf). k / 10^decimals, correctly rounded, is then what reading printf's digits back
    // gives.
    constexpr std::array<double, 16> kPowers{1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const double scale = kPowers[static_cast<std::size_t>(decimals)];
    const double scaled = value * scale;
    if (std::fabs(scaled) < 0x1p52) {
      const double below = std::floor(scaled);
      const double fraction = scaled - below;
      if (fraction != 0.5) {
        const double k = fraction > 0.5 ? below + 1 : below;
        // printf keeps the sign of a value that rounds to zero ("-0.00").
        return k == 0 ? std::copysign(0.0, value) : k / scale;
      }
    }
  }
  // printf rounds the exact binary value and sends exact halves to even.
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return std::strtod(buffer, nullptr);
}

DateTime make_date_time(int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                        unsigned second) {
  date::year_month_day ymd{date::year{year}, date::month{month}, date::day{day}};
  if (!ymd.ok()) raise(RuntimeError::InvalidProcedureCall, "not a calendar date");
  if (hour > 23 || minute > 59 || second > 59) {
    raise(RuntimeError::InvalidProcedureCall, "not a time of day");
  }
  std::int64_t days = date::local_days{ymd}.time_since_epoch().count();
  return DateTime{days * kSecondsPerDay + hour * 3600 + minute * 60 + second};
}

std::string date_time_text(DateTime value) {
  std::int64_t days = value.local_seconds / kSecondsPerDay;
  std::int64_t secs = value.local_seconds % kSecondsPerDay;
  if (secs < 0) secs += kSecondsPerDay, --days;
  date::year_month_day ymd{date::local_days{date::days{days}}};
  const int year = static_cast<int>(ymd.year());
  if (year >= 0 && year <= 9999) {
    // Digit by digit: a progress listing shows a date-time on every row.
    char text[] = "0000-00-00 00:00:00";
    auto put = [&](std::size_t at, std::int64_t number, std::size_t width) {
      for (std::size_t i = width; i-- > 0; number /= 10)
        text[at + i] = static_cast<char>('0' + number % 10);
    };
    put(0, year, 4);
    put(5, static_cast<unsigned>(ymd.month()), 2);
    put(8, static_cast<unsigned>(ymd.day()), 2);
    put(11, secs / 3600, 2);
    put(14, secs / 60 % 60, 2);
    put(17, secs % 60, 2);
    return std::string(text, sizeof text - 1);
  }
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", static_cast<int>(ymd.year()),
                     static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                     secs / 3600, secs / 60 % 60, secs % 60);
}

std::optional<DateTime> parse_date_time(std::string_view text) {
  auto number = [&](std::size_t at, std::size_t width) -> std::optional<unsigned> {
    if (at + width > text.size()) return std::nullopt;
    unsigned n = 0;
    for (std::size_t i = at; i < at + width; ++i) {
      if (!is_digit(text[i])) return std::nullopt;
      n = n * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return n;
  };
  if (text.size() != 10 && text.size() != 19) return std::nullopt;
  auto year = number(0, 4), month = number(5, 2), day = number(8, 2);
  if (!year || !month || !day || text[4] != '-' || text[7] != '-') return std::nullopt;
  unsigned hour = 0, minute = 0, second = 0;
  if (text.size() == 19) {
    auto h = number(11, 2), m = number(14, 2), s = number(17, 2);
    if (!h || !m || !s || (text[10] != ' ' && text[10] != 'T') || text[13] != ':' ||
        text[16] != ':' || *h > 23 || *m > 59 || *s > 59) {
      return std::nullopt;
    }
    hour = *h, minute = *m, second = *s;
  }
  date::year_month_day ymd{date::year{static_cast<int>(*year)}, date::month{*month},
                           date::day{*day}};
  if (!ymd.ok()) return std::nullopt;
  return make_date_time(static_cast<int>(*year), *month, *day, hour, minute, second);
}

double date_serial(DateTime value) {
  return static_cast<double>(value.local_seconds) / kSecondsPerDay + kSerialEpochDays;
}

DateTime now_local() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return make_date_time(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                        static_cast<unsigned>(local.tm_mday), static_cast<unsigned>(local.tm_hour),
                        static_cast<unsigned>(local.tm_min),
                        static_cast<unsigned>(std::min(local.tm_sec, 59)));
}

std::string to_text(const Variant& v, NullAs null_as) {
  switch (v.kind()) {
    case Kind::Empty:
      return {};
    case Kind::Null:
      if (null_as == NullAs::EmptyText) return {};
      raise(RuntimeError::InvalidUseOfNull);
    case Kind::Integer:
      return std::to_string(v.as_integer());
    case Kind::Long:
      return std::to_string(v.as_long());
    case Kind::Double:
      return number_text(v.as_double());
    case Kind::Date:
      return date_time_text(v.as_date());
    case Kind::String:
      return v.as_string();
    case Kind::Boolean:
      return v.as_boolean() ? "True" : "False";
    case Kind::Object:
    case Kind::Array:
      break;
  }
  raise(RuntimeError::TypeMismatch);
}

std::string to_text(Variant&& v, NullAs null_as) {
  if (v.kind() == Kind::String) return std::move(v).as_string();
  return to_text(std::as_const(v), null_as);
}

bool to_boolean(const Variant& v) {
  switch (v.kind()) {
    case Kind::Empty:
      return false;
    case Kind::Null:
      raise(RuntimeError::InvalidUseOfNull);
    case Kind::Integer:
      return v.as_integer() != 0;
    case Kind::Long:
      return v.as_long() != 0;
    case Kind::Double:
      return v.as_double() != 0;
    case Kind::Date:
      return v.as_date().local_seconds != -kSerialEpochDays * kSecondsPerDay;
    case Kind::Boolean:
      return v.as_boolean();
    case Kind::String: {
      const std::string& s = v.as_string();
      if (ascii_iequals(s, "True")) return true;
      if (ascii_iequals(s, "False")) return false;
      if (auto n = parse_number(s)) return *n != 0;
      break;
    }
    case Kind::Object:
    case Kind::Array:
      break;
  }
  raise(RuntimeError::TypeMismatch);
}

double to_double(const Variant& v) {
  switch (v.kind()) {
    case Kind::Empty:
      return 0;
    case Kind::Null:
      raise(RuntimeError::InvalidUseOfNull);
    case Kind::Integer:
      return v.as_integer();
    case Kind::Long:
      return v.as_long();
    case Kind::Double:
      return v.as_double();
    case Kind::Date:
      return date_serial(v.as_date());
    case Kind::Boolean:
      return v.as_boolean() ? -1 : 0;
    case Kind::String:
      if (auto n = parse_number(v.as_string())) {
        if (std::isinf(*n)) raise(RuntimeError::Overflow);
        return *n;
      }
      break;
    case Kind::Object:
    case Kind::Array:
      break;
  }
  raise(RuntimeError::TypeMismatch);
}

std::int32_t to_long(const Variant& v) {
  switch (v.kind()) {
    case Kind::Integer:
      return v.as_integer();
    case Kind::Long:
      return v.as_long();
    default:
      return checked_round<std::int32_t>(to_double(v));
  }
}

std::int16_t to_integer(const Variant& v) {
  if (v.kind() == Kind::Integer) return v.as_integer();
  return checked_round<std::int16_t>(to_double(v));
}

}  // namespace tarvex::automation
