// Choosing the driver of the macro store from the connection text.
#include "companions/store/macro_store_driver.h"

#include "companions/store/pg_macro_store.h"
#include "companions/store/sqlite_macro_store.h"

namespace tarvex::companions::store {

std::unique_ptr<MacroStoreDriver> open_macro_store(const ConnectionText& connection,
                                                   const StoreOptions& options,
                                                   const Where& where) {
  switch (connection.driver()) {
    case Driver::SQLite: {
      auto database = connection.value("Database");
      if (!database || database->empty()) {
        raise_store_error(StoreError::BadConnectionText, where,
                          "The connection text names no store: add Database=<path of the "
                          "store file>");
      }
      return open_sqlite_macro_store(*database, options, where);
    }
    case Driver::PostgreSQL:
      break;
  }
  return open_pg_macro_store(connection, options, where);
}

}  // namespace tarvex::companions::store
