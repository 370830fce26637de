// Creating and filling macro stores on a PostgreSQL server.
#include "tools/pg_store.h"

#include <fmt/format.h>
#include <sqlite3.h>
#include <algorithm>
#include <vector>

#include "automation/convert.h"
#include "companions/store/pg_db.h"
#include "companions/store/sqlite_db.h"
#include "tools/store_schema.h"

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

// The store's tables that exist in the database, in the order of store_tables().
std::vector<std::string> existing_tables(PgDb& db) {
  std::vector<std::string> found;
  db.prepare("existing",
             "SELECT c.relname FROM pg_class c WHERE c.relname = ANY ($1::text[]) AND "
             "pg_table_is_visible(c.oid) ORDER BY array_position($1::text[], c.relname::text)");
  std::string names;
  for (const SchemaTable& t : store_tables())
    names += fmt::format("{}{}", names.empty() ? "{" : ",", t.name);
  names += "}";
  db.each_row("existing", {names.c_str()},
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
  for (const SchemaTable& t : store_tables()) db.exec(create_table_sql(t, Dialect::PostgreSQL));
  db.exec(kStoreIndexes);
  db.exec("COMMIT");
}

void copy_store_to_pg(const std::string& sqlite_path, const ConnectionText& connection) {
  Where where{kModule, "Copy"};
  SqliteDb source(sqlite_path, SqliteDb::Mode::ReadOnly, fmt::format("The store '{}'", sqlite_path),
                  StoreError::StoreNotWritten, where, 5000);
  PgDb db(connection, "The store", StoreError::StoreNotWritten, where);
  db.exec("BEGIN");
  std::vector<std::string> found = existing_tables(db);
  for (const SchemaTable& t : store_tables()) {
    if (std::find(found.begin(), found.end(), t.name) != found.end()) {
      db.exec(fmt::format("TRUNCATE {}", t.name));
      continue;
    }
    db.exec(create_table_sql(
        t, Dialect::PostgreSQL, [&](const SchemaTable& table, const SchemaColumn& column) {
          // A text that is not in the canonical date-time form would not survive a timestamp.
          Statement s = source.prepare(fmt::format(
              "SELECT 1 FROM {0} WHERE {1} IS NOT NULL AND {1} IS NOT datetime({1}) LIMIT 1",
              table.name, column.name));
          StatementRun run(s);
          return s.step();
        }));
  }
  for (const SchemaTable& t : store_tables()) {
    const std::string names = column_names(t);
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
  db.exec(kStoreIndexes);
  db.exec("COMMIT");
}

}  // namespace tarvex::tools
