// No PostgreSQL client library in the Windows build: the driver seam refuses that driver here.
#include "companions/store/pg_macro_store.h"

namespace tarvex::companions::store {

std::unique_ptr<MacroStoreDriver> open_pg_macro_store(const ConnectionText&, const StoreOptions&,
                                                      const Where& where) {
  raise_store_error(StoreError::BadConnectionText, where,
                    "The PostgreSQL driver is not available in this build; use a SQLite store "
                    "(Driver=SQLite;Database=<path>)");
}

}  // namespace tarvex::companions::store
