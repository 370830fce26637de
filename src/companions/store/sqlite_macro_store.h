// The SQLite driver of the macro store: the file opened read-only, once, with its statements
// prepared on first use and reused for every later read.
#pragma once

#include <memory>
#include <string>

#include "companions/store/macro_store_driver.h"

namespace tarvex::companions::store {

// Opens `path` read-only and checks that it is a database that can be read now and holds the
// store's tables. Raises StoreUnavailable naming the path and the reason.
std::unique_ptr<MacroStoreDriver> open_sqlite_macro_store(const std::string& path,
                                                          const StoreOptions& options,
                                                          const Where& where);

}  // namespace tarvex::companions::store
