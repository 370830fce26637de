// ArrayUtility: rows and bounds of the arrays that the macro database helper hands out, and
// collections turned into arrays. Arrays are read where they are, never copied.
#pragma once

#include "contracts/companions.h"

namespace tarvex::companions::utilities {

class ArrayUtilityImpl : public contracts::ArrayUtility {
 public:
  // Rows: the second dimension of a two-dimensional array, the elements of a one-dimensional
  // one. Anything that is not an array (the empty value too) raises 13.
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
