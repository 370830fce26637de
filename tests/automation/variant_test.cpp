// Variant values, arrays and the conversions at their edges.
#include "automation/variant.h"
#include "automation/convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "automation/error.h"
#include "support/test_support.h"

namespace tarvex::automation {
namespace {

using test_support::error_number_of;

TEST(variant_text, converts_each_kind) {
  struct Case {
    Variant value;
    std::string text;
  };
  const Case cases[] = {
      {Variant(), ""},
      {Variant(std::int16_t{-7}), "-7"},
      {Variant(std::int32_t{2147483647}), "2147483647"},
      {Variant(0.1 + 0.2), "0.3"},
      {Variant(1.0 / 3.0), "0.333333333333333"},
      {Variant(12.5), "12.5"},
      {Variant(-0.0), "0"},
      {Variant(1e15), "1E+15"},
      {Variant(123456789012345.0), "123456789012345"},
      {Variant(0.00001), "1E-05"},
      {Variant(0.0001), "0.0001"},
      {Variant(true), "True"},
      {Variant(false), "False"},
      {Variant(make_date_time(2026, 3, 29, 2, 30, 5)), "2026-03-29 02:30:05"},
      {Variant(make_date_time(1899, 12, 30)), "1899-12-30 00:00:00"},
      {Variant("caf\xC3\xA9"), "caf\xC3\xA9"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(to_text(c.value), c.text) << kind_name(c.value.kind());
  }
}

TEST(variant_text, null_is_an_error_unless_asked_for_as_empty) {
  EXPECT_EQ(error_number_of([] { to_text(Variant(Null{})); }), 94);
  EXPECT_EQ(to_text(Variant(Null{}), NullAs::EmptyText), "");
  EXPECT_EQ(error_number_of([] { to_text(Variant(ObjectRef{})); }), 13);
  EXPECT_EQ(error_number_of([] { to_text(Variant(Array())); }), 13);
}

TEST(variant_boolean, follows_the_step_parameter_rules) {
  struct Case {
    Variant value;
    bool expected;
  };
  const Case cases[] = {
      {Variant(std::int32_t{1}), true},
      {Variant(std::int32_t{-1}), true},
      {Variant(std::int32_t{0}), false},
      {Variant(0.5), true},
      {Variant("True"), true},
      {Variant("tRUE"), true},
      {Variant("false"), false},
      {Variant("1"), true},
      {Variant("0"), false},
      {Variant(" -2.5e0 "), true},
      {Variant("0.000"), false},
      {Variant(), false},
      {Variant(true), true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(to_boolean(c.value), c.expected) << to_text(c.value, NullAs::EmptyText);
  }
  for (const char* refused : {"yes", "", " ", "1,5", "Truee", "0x1", "inf", "nan", "."}) {
    EXPECT_EQ(error_number_of([&] { to_boolean(Variant(refused)); }), 13) << refused;
  }
  EXPECT_EQ(error_number_of([] { to_boolean(Variant(Null{})); }), 94);
}

TEST(variant_long, rounds_halves_to_even_and_checks_range) {
  struct Case {
    Variant value;
    std::int32_t expected;
  };
  const Case cases[] = {
      {Variant(0.5), 0},
      {Variant(1.5), 2},
      {Variant(2.5), 2},
      {Variant(-2.5), -2},
      {Variant(2.500001), 3},
      {Variant("3.5"), 4},
      {Variant(true), -1},
      {Variant(), 0},
      {Variant(2147483647.4), 2147483647},
      {Variant(-2147483648.0), std::numeric_limits<std::int32_t>::min()},
  };
  for (const Case& c : cases) EXPECT_EQ(to_long(c.value), c.expected) << to_text(c.value);

  EXPECT_EQ(error_number_of([] { to_long(Variant(2147483647.5)); }), 6);
  EXPECT_EQ(error_number_of([] { to_long(Variant(-2147483649.0)); }), 6);
  EXPECT_EQ(error_number_of([] { to_long(Variant("1e300")); }), 6);
  EXPECT_EQ(error_number_of([] { to_long(Variant("1e999")); }), 6);
  EXPECT_EQ(error_number_of([] { to_long(Variant("ten")); }), 13);
  EXPECT_EQ(error_number_of([] { to_long(Variant(Null{})); }), 94);
  EXPECT_EQ(error_number_of([] { to_integer(Variant(32768.0)); }), 6);
  EXPECT_EQ(to_integer(Variant(-32768.0)), -32768);
}

TEST(variant_double, reads_numbers_and_dates) {
  EXPECT_DOUBLE_EQ(to_double(Variant(" 12.25 ")), 12.25);
  EXPECT_DOUBLE_EQ(to_double(Variant(".5")), 0.5);
  EXPECT_DOUBLE_EQ(to_double(Variant("5.")), 5.0);
  EXPECT_DOUBLE_EQ(to_double(Variant(make_date_time(1900, 1, 1, 12))), 2.5);
  EXPECT_EQ(error_number_of([] { to_double(Variant("1.2.3")); }), 13);
}

TEST(round_half_even, rounds_on_the_exact_binary_value) {
  EXPECT_EQ(number_text(round_half_even(50, 2)), "50");
  EXPECT_EQ(number_text(round_half_even(12.5, 2)), "12.5");
  EXPECT_EQ(number_text(round_half_even(33.3333, 2)), "33.33");
  EXPECT_EQ(number_text(round_half_even(0.125, 2)), "0.12");
  EXPECT_EQ(number_text(round_half_even(0.375, 2)), "0.38");
  EXPECT_EQ(number_text(round_half_even(-0.125, 2)), "-0.12");
}

TEST(date_time, parses_only_real_calendar_date_times) {
  EXPECT_EQ(parse_date_time("2026-02-28 23:59:59"), make_date_time(2026, 2, 28, 23, 59, 59));
  EXPECT_EQ(parse_date_time("2024-02-29T00:00:00"), make_date_time(2024, 2, 29));
  EXPECT_EQ(parse_date_time("2024-02-29"), make_date_time(2024, 2, 29));
  for (const char* bad : {"2026-02-29 00:00:00", "2026-13-01 00:00:00", "2026-01-01 24:00:00",
                          "yesterday", "", "2026-1-1 0:0:0", "2026-01-01 00:00:00Z"}) {
    EXPECT_FALSE(parse_date_time(bad).has_value()) << bad;
  }
  DateTime early = make_date_time(1601, 1, 1, 6);
  EXPECT_EQ(date_time_text(early), "1601-01-01 06:00:00");
}

TEST(array, has_bounds_per_dimension_and_elements_by_reference) {
  Array table({{1, 3}, {-1, 0}});
  EXPECT_EQ(table.size(), 6u);
  table.at(3, -1) = Variant("last column, first row");
  Variant holder(std::move(table));
  holder.check_invariants();
  EXPECT_EQ(to_text(holder.as_array().at(3, -1)), "last column, first row");
  EXPECT_EQ(error_number_of([&] { holder.as_array().at(0, 0); }), 9);
  EXPECT_EQ(error_number_of([&] { holder.as_array().at(1); }), 9);
  EXPECT_EQ(error_number_of([&] { holder.as_array().bounds(3); }), 9);

  Variant copy = holder;  // arrays are values: a copy is independent
  copy.as_array().at(1, 0) = Variant(std::int32_t{7});
  EXPECT_TRUE(holder.as_array().at(1, 0).is_empty());

  Array none;
  EXPECT_EQ(none.bounds(1).count(), 0);
}

}  // namespace
}  // namespace tarvex::automation
