// The macro store's schema and its two dialects.
#include "tools/store_schema.h"

#include <fmt/format.h>

namespace tarvex::tools {

namespace {

std::string_view type_name(ColumnType type, Dialect dialect) {
  const bool pg = dialect == Dialect::PostgreSQL;
  switch (type) {
    case ColumnType::Text:
      return pg ? "text" : "TEXT";
    case ColumnType::Integer:
      return pg ? "integer" : "INTEGER";
    case ColumnType::Real:
      return pg ? "double precision" : "REAL";
    case ColumnType::DateTime:
      return pg ? "timestamp(0) without time zone" : "TEXT";
    case ColumnType::Any:
      return pg ? "text" : "";
  }
  return {};
}

}  // namespace

const std::vector<SchemaTable>& store_tables() {
  using enum ColumnType;
  static const std::vector<SchemaTable> kTables{
      {"macro",
       {{"container", Text, true},
        {"guid", Text, true},
        {"name", Text},
        {"edit_state", Text},
        {"run_state", Text},
        {"next_item", Text},
        {"last_start", DateTime},
        {"last_completion", DateTime},
        {"failure_note", Text},
        {"execution_command", Text}}},
      {"macro_step",
       {{"guid", Text, true},
        {"macro_guid", Text, true},
        {"position", Integer, true},
        {"heading", Text},
        {"method_name", Text},
        {"edit_state", Text},
        {"run_state", Text},
        {"started", DateTime},
        {"ended", DateTime},
        {"progress", Any},
        {"validation_failure_note", Text}}},
      {"macro_step_parameter", {{"step_guid", Text, true}, {"name", Text, true}, {"value", Text}}},
      {"macro_step_progress",
       {{"step_guid", Text, true},
        {"seq", Integer, true},
        {"logged_at", DateTime},
        {"message", Text},
        {"progress", Real},
        {"level", Integer},
        {"component", Text},
        {"module", Text},
        {"procedure", Text}}},
  };
  return kTables;
}

std::string create_table_sql(
    const SchemaTable& table, Dialect dialect,
    const std::function<bool(const SchemaTable&, const SchemaColumn&)>& as_text) {
  std::string sql = fmt::format("CREATE TABLE IF NOT EXISTS {} (", table.name);
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const SchemaColumn& c = table.columns[i];
    ColumnType type = c.type;
    if (type == ColumnType::DateTime && dialect == Dialect::PostgreSQL && as_text &&
        as_text(table, c))
      type = ColumnType::Text;
    std::string_view name = type_name(type, dialect);
    sql += fmt::format("{}{}{}{}{}", i ? ", " : "", c.name, name.empty() ? "" : " ", name,
                       c.not_null ? " NOT NULL" : "");
  }
  return sql + ")";
}

std::string column_names(const SchemaTable& table) {
  std::string names;
  for (const SchemaColumn& c : table.columns) {
    if (!names.empty()) names += ", ";
    names += c.name;
  }
  return names;
}

const char* const kStoreIndexes =
    "CREATE INDEX IF NOT EXISTS macro_by_container_name ON macro (container, name, guid);"
    "CREATE INDEX IF NOT EXISTS macro_by_guid ON macro (guid, container);"
    "CREATE INDEX IF NOT EXISTS macro_step_by_macro ON macro_step (macro_guid, position, guid);"
    "CREATE INDEX IF NOT EXISTS macro_step_parameter_by_step ON macro_step_parameter (step_guid, "
    "name, value);"
    "CREATE INDEX IF NOT EXISTS macro_step_progress_by_step ON macro_step_progress (step_guid, "
    "seq)";

}  // namespace tarvex::tools
