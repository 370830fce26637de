// ArrayUtility: rows and bounds of the arrays that the macro database helper hands out, and
// collections turned into arrays. Arrays are read where they are, never copied.
#pragma once

#include "contracts/companions.h"

namespace tarvex::companions::utilities {

class ArrayUtilityImpl : public contracts::ArrayUtility {
 public:
  // Rows: the second dimension of a two-dimensional array, the elements of a one-dimensional
  // one. The empty value has no rows; anything else that is not an array raises 13 (the
  // bounds and ElementCount of the empty value too).
  std::int32_t RowCount(const contracts::Variant& array) override;
  std::int32_t RowLowerBound(const contracts::Variant& array) override;
  std::int32_t RowUpperBound(const contracts::Variant& array) override;
  // All elements: of a two-dimensional array, columns times rows.
  std::int32_t ElementCount(const contracts::Variant& array) override;
  // A zero-based one-dimensional array of the items. A Collection is read directly; any other
  // object through its Count and Item(1..Count) members.
  contracts::Variant CollectionToArray(const contracts::ObjectRef& collection) override;
};

}  // namespace tarvex::companions::utilities
