// Choosing the driver of the macro store from the connection text, the cells that every driver
// makes of stored values, and the order of the macros it lists.
#include "companions/store/macro_store_driver.h"

#include <limits>

#include "automation/convert.h"
#include "contracts/macro_store_columns.h"
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

void MacroOrder::list(const automation::Variant& macros) {
  order_.clear();
  ranks_.clear();
  if (!macros.is_array()) return;
  const automation::Array& rows = macros.as_array();
  const auto guid = contracts::column_index(contracts::MacroColumn::Guid);
  for (std::int32_t r = 0; r <= rows.bounds(2).upper; ++r) {
    std::string g = automation::to_text(rows.at(guid, r));
    auto [rank, fresh] = ranks_.try_emplace(g, Rank{order_.size(), {}});
    rank->second.rows.push_back(r);
    if (fresh) order_.push_back(std::move(g));
  }
}

const std::vector<std::int32_t>* MacroOrder::rows_of(const std::string& guid) const {
  auto rank = ranks_.find(guid);
  return rank == ranks_.end() ? nullptr : &rank->second.rows;
}

std::optional<std::string> MacroOrder::after(const std::string& guid) const {
  auto rank = ranks_.find(guid);
  if (rank == ranks_.end() || rank->second.rank + 1 >= order_.size()) return std::nullopt;
  return order_[rank->second.rank + 1];
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
