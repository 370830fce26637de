// Creating and filling macro stores on a PostgreSQL server.
#include "tools/pg_store.h"

#include <fmt/format.h>
#include <sqlite3.h>
#include <algorithm>
#include <array>
#include <vector>

#include "automation/convert.h"
#include "companions/store/pg_db.h"
#include "companions/store/sqlite_db.h"

namespace tarvex::tools {

using companions::store::append_copy_value;
using companions::store::PgDb;
using companions::store::PgRow;
using companions::store::SqliteDb;
using companions::store::Statement;
using companions::store::StatementRun;
using companions::store::StoreError;
using companions::store::Where;

namespace {

constexpr std::string_view kModule = "StoreWriter";

struct Column {
  const char* name;
  const char* type;  // "timestamp" for a date-time column
};

struct Table {
  const char* name;
  std::vector<Column> columns;
};

const std::array<Table, 4>& tables() {
  static const std::array<Table, 4> kTables{{
      {"macro",
       {{"container", "text NOT NULL"},
        {"guid", "text NOT NULL"},
        {"name", "text"},
        {"edit_state", "text"},
        {"run_state", "text"},
        {"next_item", "text"},
        {"last_start", "timestamp"},
        {"last_completion", "timestamp"},
        {"failure_note", "text"},
        {"execution_command", "text"}}},
      {"macro_step",
       {{"guid", "text NOT NULL"},
        {"macro_guid", "text NOT NULL"},
        {"position", "integer NOT NULL"},
        {"heading", "text"},
        {"method_name", "text"},
        {"edit_state", "text"},
        {"run_state", "text"},
        {"started", "timestamp"},
        {"ended", "timestamp"},
        {"progress", "text"},
        {"validation_failure_note", "text"}}},
      {"macro_step_parameter",
       {{"step_guid", "text NOT NULL"}, {"name", "text NOT NULL"}, {"value", "text"}}},
      {"macro_step_progress",
       {{"step_guid", "text NOT NULL"},
        {"seq", "integer NOT NULL"},
        {"logged_at", "timestamp"},
        {"message", "text"},
        {"progress", "double precision"},
        {"level", "integer"},
        {"component", "text"},
        {"module", "text"},
        {"procedure", "text"}}},
  }};
  return kTables;
}

// One index for every lookup the reader makes, as on SQLite.
constexpr const char* kIndexes =
    "CREATE INDEX IF NOT EXISTS macro_by_container_name ON macro (container, name, guid);"
    "CREATE INDEX IF NOT EXISTS macro_by_guid ON macro (guid, container);"
    "CREATE INDEX IF NOT EXISTS macro_step_by_macro ON macro_step (macro_guid, position);"
    "CREATE INDEX IF NOT EXISTS macro_step_parameter_by_step ON macro_step_parameter (step_guid);"
    "CREATE INDEX IF NOT EXISTS macro_step_progress_by_step ON macro_step_progress (step_guid, "
    "seq)";

// `date_as_text(table, column)` says whether a date-time column must stay text.
template <class F>
std::string create_table_sql(const Table& table, F&& date_as_text) {
  std::string sql = fmt::format("CREATE TABLE {} (", table.name);
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const Column& c = table.columns[i];
    std::string_view type = c.type;
    if (type == "timestamp")
      type = date_as_text(table, c) ? "text" : "timestamp(0) without time zone";
    sql += fmt::format("{}{} {}", i ? ", " : "", c.name, type);
  }
  return sql + ")";
}

// The store's tables that exist in the database, in the order of tables().
std::vector<std::string> existing_tables(PgDb& db) {
  std::vector<std::string> found;
  db.prepare("existing",
             "SELECT c.relname FROM pg_class c WHERE c.relname = ANY ($1::text[]) AND "
             "pg_table_is_visible(c.oid) ORDER BY array_position($1::text[], c.relname::text)");
  db.each_row("existing", {"{macro,macro_step,macro_step_parameter,macro_step_progress}"},
              [&](const PgRow& row) { found.push_back(automation::to_text(row.value(0))); });
  return found;
}

std::string joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}

}  // namespace

void create_pg_store(const ConnectionText& connection) {
  PgDb db(connection, "The store", StoreError::StoreNotWritten, {kModule, "Create"});
  db.exec("BEGIN");
  std::vector<std::string> found = existing_tables(db);
  if (!found.empty()) {
    db.fail("already has the store's tables",
            fmt::format("{}; drop them or use another database", joined(found)));
  }
  for (const Table& t : tables()) db.exec(create_table_sql(t, [](auto&, auto&) { return false; }));
  db.exec(kIndexes);
  db.exec("COMMIT");
}

void copy_store_to_pg(const std::string& sqlite_path, const ConnectionText& connection) {
  Where where{kModule, "Copy"};
  SqliteDb source(sqlite_path, SqliteDb::Mode::ReadOnly, fmt::format("The store '{}'", sqlite_path),
                  StoreError::StoreNotWritten, where, 5000);
  PgDb db(connection, "The store", StoreError::StoreNotWritten, where);
  db.exec("BEGIN");
  std::vector<std::string> found = existing_tables(db);
  for (const Table& t : tables()) {
    if (std::find(found.begin(), found.end(), t.name) != found.end()) {
      db.exec(fmt::format("TRUNCATE {}", t.name));
      continue;
    }
    db.exec(create_table_sql(t, [&](const Table& table, const Column& column) {
      // A text that is not in the canonical date-time form would not survive a timestamp.
      Statement s = source.prepare(fmt::format(
          "SELECT 1 FROM {0} WHERE {1} IS NOT NULL AND {1} IS NOT datetime({1}) LIMIT 1",
          table.name, column.name));
      StatementRun run(s);
      return s.step();
    }));
  }
  for (const Table& t : tables()) {
    std::string names;
    for (const Column& c : t.columns) names += (names.empty() ? "" : ", ") + std::string(c.name);
    Statement s = source.prepare(fmt::format("SELECT {} FROM {} ORDER BY rowid", names, t.name));
    StatementRun run(s);
    auto columns = static_cast<int>(t.columns.size());
    db.copy_in(fmt::format("COPY {} ({}) FROM STDIN", t.name, names), [&](const auto& put) {
      std::string batch;
      std::string value;
      sqlite3_stmt* stmt = nullptr;
      while (s.step()) {
        stmt = s.handle();
        for (int c = 0; c < columns; ++c) {
          if (c) batch += '\t';
          if (sqlite3_column_type(stmt, c) == SQLITE_NULL) {
            append_copy_value(batch, nullptr);
          } else {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
            value.assign(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, c)));
            append_copy_value(batch, &value);
          }
        }
        batch += '\n';
        if (batch.size() > (1 << 16)) {
          put(batch);
          batch.clear();
        }
      }
      put(batch);
    });
  }
  db.exec(kIndexes);
  db.exec("COMMIT");
}

}  // namespace tarvex::tools
