// The macro store's tables and indexes as the store tools make them, described once for both
// databases: SQLite gets the declared types of the store's documentation, PostgreSQL its types
// (text, integer, double precision, timestamps).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "companions/store/store_queries.h"

namespace tarvex::tools {

using companions::store::Dialect;

enum class ColumnType {
  Text,
  Integer,
  Real,
  DateTime,  // a local date-time, 'YYYY-MM-DD HH:MM:SS' as text on SQLite
  Any,       // kept as given: no declared type on SQLite, text on PostgreSQL
};

struct SchemaColumn {
  const char* name;
  ColumnType type;
  bool not_null = false;
};

struct SchemaTable {
  const char* name;
  std::vector<SchemaColumn> columns;
};

// The four tables, in the order they are filled.
const std::vector<SchemaTable>& store_tables();

// "CREATE TABLE IF NOT EXISTS ...". On PostgreSQL, a date-time column for which `as_text` says
// so is made text, so that values that are no date-times arrive as stored.
std::string create_table_sql(
    const SchemaTable& table, Dialect dialect,
    const std::function<bool(const SchemaTable&, const SchemaColumn&)>& as_text = {});

// "a, b, c": the table's columns.
std::string column_names(const SchemaTable& table);

// One index for every lookup the readers make; the same statements on both databases.
extern const char* const kStoreIndexes;

}  // namespace tarvex::tools
