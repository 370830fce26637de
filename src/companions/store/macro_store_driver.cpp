// Choosing the driver of the macro store from the connection text, and the cells that every
// driver makes of stored values.
#include "companions/store/macro_store_driver.h"

#include <limits>

#include "automation/convert.h"
#include "companions/store/pg_macro_store.h"
#include "companions/store/sqlite_macro_store.h"

namespace tarvex::companions::store {

automation::Variant integer_cell(std::int64_t value) {
  if (value >= std::numeric_limits<std::int32_t>::min() &&
      value <= std::numeric_limits<std::int32_t>::max()) {
    return automation::Variant(static_cast<std::int32_t>(value));
  }
  return automation::Variant(static_cast<double>(value));
}

automation::Variant text_cell(std::string_view text, bool date_time) {
  if (date_time) {
    if (auto parsed = automation::parse_date_time(text)) return automation::Variant(*parsed);
  }
  return automation::Variant(text);
}

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
