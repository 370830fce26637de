// Variant values, arrays and the conversions at their edges.
#include "automation/variant.h"
#include "automation/convert.h"

#include <gtest/gtest.h>

#include <limits>

#include "automation/error.h"
#include "support/test_support.h"

namespace tarvex::automation {
namespace {

using test_support::error_number_of;

TEST(variant_text, converts_each_kind_and_null_only_when_asked) {
  const std::pair<Variant, std::string> cases[] = {
      {Variant(), ""},
      {Variant(std::int16_t{-7}), "-7"},
      {Variant(0.1 + 0.2), "0.3"},
      {Variant(-0.0), "0"},
      {Variant(1e15), "1E+15"},
      {Variant(0.00001), "1E-05"},
      {Variant(true), "True"},
      {Variant(make_date_time(2026, 3, 29, 2, 30, 5)), "2026-03-29 02:30:05"},
      // Every field padded, years beyond four digits kept.
      {Variant(make_date_time(1, 2, 3, 4, 5, 6)), "0001-02-03 04:05:06"},
      {Variant(make_date_time(9999, 12, 31, 23, 59, 59)), "9999-12-31 23:59:59"},
      {Variant(make_date_time(1899, 12, 30)), "1899-12-30 00:00:00"},
      {Variant(make_date_time(1969, 12, 31, 23, 59, 59)), "1969-12-31 23:59:59"},
      {Variant(make_date_time(10000, 1, 1)), "10000-01-01 00:00:00"},
      {Variant(make_date_time(-1, 1, 1)), "-001-01-01 00:00:00"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(to_text(value), text) << text;
  EXPECT_EQ(error_number_of([] { to_text(Variant(Null{})); }), 94);
  EXPECT_EQ(to_text(Variant(Null{}), NullAs::EmptyText), "");
  EXPECT_EQ(error_number_of([] { to_text(Variant(Array())); }), 13);
}

TEST(variant_numbers, booleans_longs_and_doubles_follow_the_parameter_rules) {
  const std::pair<Variant, bool> booleans[] = {
      {Variant(std::int32_t{-1}), true}, {Variant("tRUE"), true},   {Variant("false"), false},
      {Variant(" -2.5e0 "), true},       {Variant("0.000"), false}, {Variant(), false},
  };
  for (const auto& [value, expected] : booleans)
    EXPECT_EQ(to_boolean(value), expected) << to_text(value);
  for (const char* refused : {"yes", "", "1,5", "0x1", "inf", "."})
    EXPECT_EQ(error_number_of([&] { to_boolean(Variant(refused)); }), 13) << refused;

  const std::pair<Variant, std::int32_t> longs[] = {
      {Variant(0.5), 0},
      {Variant(1.5), 2},
      {Variant(2.5), 2},
      {Variant(-2.5), -2},
      {Variant("3.5"), 4},
      {Variant(true), -1},
      {Variant(2147483647.4), std::numeric_limits<std::int32_t>::max()},
  };
  for (const auto& [value, expected] : longs) EXPECT_EQ(to_long(value), expected) << to_text(value);
  EXPECT_EQ(error_number_of([] { to_long(Variant(2147483647.5)); }), 6);
  EXPECT_EQ(error_number_of([] { to_long(Variant("1e999")); }), 6);
  EXPECT_EQ(error_number_of([] { to_integer(Variant(32768.0)); }), 6);

  EXPECT_DOUBLE_EQ(to_double(Variant(".5")), 0.5);
  EXPECT_DOUBLE_EQ(to_double(Variant(make_date_time(1900, 1, 1, 12))), 2.5);
  EXPECT_EQ(error_number_of([] { to_double(Variant("1.2.3")); }), 13);
}

TEST(array, has_bounds_per_dimension_and_is_copied_as_a_value) {
  Array table({{1, 3}, {-1, 0}});
  EXPECT_EQ(table.size(), 6u);
  table.at(3, -1) = Variant("last column, first row");
  Variant holder(std::move(table));
  holder.check_invariants();
  EXPECT_EQ(to_text(holder.as_array().at(3, -1)), "last column, first row");
  EXPECT_EQ(error_number_of([&] { holder.as_array().at(0, 0); }), 9);
  EXPECT_EQ(error_number_of([&] { holder.as_array().at(1); }), 9);

  Variant copy = holder;
  copy.as_array().at(1, 0) = Variant(std::int32_t{7});
  EXPECT_TRUE(holder.as_array().at(1, 0).is_empty());
}

}  // namespace
}  // namespace tarvex::automation
