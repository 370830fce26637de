// Conversions of variant values, with the platform's usual rules and errors, in one place.
//
//   to_text     Empty -> ""; Null -> 94 (or "" when asked); numbers in their short form
//               (at most 15 significant digits, exponent as "1E+15"); Boolean -> "True"/"False";
//               Date -> "YYYY-MM-DD HH:MM:SS"; Object, Array -> 13
//   to_boolean  number: non-zero is True; text: "True"/"False" in any case, or a text that reads
//               as a number; Empty -> False; Null -> 94; any other text, Object, Array -> 13
//   to_long     rounds halves to even; outside 32 bits -> 6; True -> -1; Empty -> 0;
//               text that reads as a number is converted; Null -> 94; other text -> 13
//   to_integer  as to_long, within 16 bits
//   to_double   as to_long without rounding; a date gives its serial day number
//
// "Reads as a number": optional blanks, an optional sign, digits with at most one "." as the
// decimal separator (digits on at least one side), an optional exponent, optional blanks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "automation/variant.h"

namespace tarvex::automation {

enum class NullAs { Error, EmptyText };

std::string to_text(const Variant& v, NullAs null_as = NullAs::Error);
// As to_text(), taking a text out of `v` instead of copying it.
std::string to_text(Variant&& v, NullAs null_as = NullAs::Error);
bool to_boolean(const Variant& v);
std::int32_t to_long(const Variant& v);
std::int16_t to_integer(const Variant& v);
double to_double(const Variant& v);

// The number that a text reads as, if it reads as one.
std::optional<double> parse_number(std::string_view text);

// The short text form of a number: at most 15 significant digits.
std::string number_text(double value);

// Rounds to `decimals` decimal places, halves to the even neighbour, on the exact binary value.
double round_half_even(double value, int decimals);

// A date-time: from its civil parts, to "YYYY-MM-DD HH:MM:SS", and from that text (also
// accepted: "YYYY-MM-DD" and a "T" between date and time). Parsing returns nothing for a text
// that is not such a date-time.
DateTime make_date_time(int year, unsigned month, unsigned day, unsigned hour = 0,
                        unsigned minute = 0, unsigned second = 0);
std::string date_time_text(DateTime value);
std::optional<DateTime> parse_date_time(std::string_view text);
// Days since 1899-12-30, with the time of day as the fraction, as the platform numbers dates.
double date_serial(DateTime value);
// The current local date and time.
DateTime now_local();

}  // namespace tarvex::automation
