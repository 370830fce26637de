// The store companions' error numbers and the one place that raises them.
#include "companions/store/store_errors.h"

namespace tarvex::companions::store {

std::int32_t store_error_number(StoreError kind) {
  return automation::kObjectErrorBase + static_cast<std::int32_t>(kind);
}

void raise_store_error(StoreError kind, const Where& where, std::string description) {
  throw automation::Error(store_error_number(kind),
                          automation::qualified_name(kStoreProject, where.module, where.procedure),
                          std::move(description));
}

}  // namespace tarvex::companions::store
