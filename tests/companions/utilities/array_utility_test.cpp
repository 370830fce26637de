// ArrayUtility: rows of one- and two-dimensional arrays and their bounds.
#include <gtest/gtest.h>

#include "automation/convert.h"
#include "companions/utilities/array_utility.h"
#include "support/test_support.h"

namespace tarvex::companions::utilities {
namespace {

using automation::Array;
using automation::Variant;

TEST(array_utility, rows_are_the_second_dimension_or_the_elements) {
  struct Case {
    const char* name;
    Array array;
    std::int32_t rows, lower, upper, elements;
  };
  const Case cases[] = {
      {"1-D empty", Array(), 0, 0, -1, 0},
      {"1-D from 5", Array({{5, 8}}), 4, 5, 8, 4},
      {"2-D more rows than columns", Array::table(2, 7), 7, 0, 6, 14},
      {"2-D rows from 1", Array({{0, 3}, {1, 5}}), 5, 1, 5, 20},
  };
  ArrayUtilityImpl utility;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Variant value(c.array);
    EXPECT_EQ(utility.RowCount(value), c.rows);
    EXPECT_EQ(utility.RowLowerBound(value), c.lower);
    EXPECT_EQ(utility.RowUpperBound(value), c.upper);
    EXPECT_EQ(utility.ElementCount(value), c.elements);
  }
  EXPECT_EQ(utility.RowCount(Variant()), 0);  // "nothing found"
  auto e = test_support::error_of([&] { utility.RowUpperBound(Variant("rows")); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->number(), 13);
  EXPECT_EQ(e->source(), "Toolkit_83.ArrayUtility");
}

}  // namespace
}  // namespace tarvex::companions::utilities
