// ArrayUtility: row counting and bounds, collections to arrays.
#include "companions/utilities/array_utility.h"

#include <string>
#include <vector>

#include "automation/collection.h"
#include "automation/convert.h"
#include "companions/utilities/utility_error.h"

namespace tarvex::companions::utilities {

using automation::Array;
using automation::Variant;

namespace {

constexpr std::string_view kClass = "ArrayUtility";

const Array& array_of(const Variant& value, std::string_view procedure) {
  if (!value.is_array()) {
    raise_error(kClass, automation::RuntimeError::TypeMismatch,
                std::string(procedure) + " needs an array, not " +
                    std::string(automation::kind_name(value.kind())));
  }
  return value.as_array();
}

Array::Bounds row_bounds(const Variant& value, std::string_view procedure) {
  const Array& array = array_of(value, procedure);
  return array.bounds(array.dimensions() == 2 ? 2 : 1);
}

}  // namespace

std::int32_t ArrayUtilityImpl::RowCount(const Variant& array) {
  // The helper's "nothing found" is the empty value; its callers branch on a count of 0.
  if (array.is_empty()) return 0;
  return static_cast<std::int32_t>(row_bounds(array, "RowCount").count());
}

std::int32_t ArrayUtilityImpl::RowLowerBound(const Variant& array) {
  return row_bounds(array, "RowLowerBound").lower;
}

std::int32_t ArrayUtilityImpl::RowUpperBound(const Variant& array) {
  return row_bounds(array, "RowUpperBound").upper;
}

std::int32_t ArrayUtilityImpl::ElementCount(const Variant& array) {
  return static_cast<std::int32_t>(array_of(array, "ElementCount").size());
}

Variant ArrayUtilityImpl::CollectionToArray(const contracts::ObjectRef& collection) {
  if (!collection) raise_error(kClass, automation::RuntimeError::ObjectNotSet, "no collection");
  if (auto direct = std::dynamic_pointer_cast<automation::Collection>(collection)) {
    return Array::of(direct->items());
  }
  std::int32_t count = automation::to_long(automation::get(collection, "Count"));
  std::vector<Variant> items;
  items.reserve(count > 0 ? static_cast<std::size_t>(count) : 0);
  for (std::int32_t i = 1; i <= count; ++i) items.push_back(automation::get(collection, "Item", i));
  return Array::of(std::move(items));
}

}  // namespace tarvex::companions::utilities
