// The writer that fills a SQLite store, and the connection document.
#include "tools/store_builder.h"

#include <fmt/format.h>
#include <filesystem>
#include <pugixml.hpp>
#include <sstream>

#include "automation/convert.h"
#include "companions/store/connection_text.h"
#include "companions/store/file_output.h"
#include "companions/store/sqlite_db.h"
#include "tools/store_schema.h"

namespace tarvex::tools {

using companions::store::quote_connection_value;
using companions::store::raise_store_error;
using companions::store::SqliteDb;
using companions::store::Statement;
using companions::store::StatementRun;
using companions::store::StoreError;
using companions::store::Where;

namespace {

constexpr std::string_view kModule = "StoreWriter";

// "INSERT INTO t (a, b) VALUES (?1, ?2)": a row of the table, its values bound in the order of
// the table's columns.
std::string insert_sql(const SchemaTable& table) {
  std::string values;
  for (std::size_t i = 1; i <= table.columns.size(); ++i)
    values += fmt::format("{}?{}", i > 1 ? ", " : "", i);
  return fmt::format("INSERT INTO {} ({}) VALUES ({})", table.name, column_names(table), values);
}

}  // namespace

struct SqliteStoreWriter::State {
  explicit State(const std::string& path)
      : db(path, SqliteDb::Mode::Create, fmt::format("The store '{}'", path),
           StoreError::StoreNotWritten, {kModule, "Open"}, 5000) {}
  SqliteDb db;
  Statement macro, step, parameter, progress;
  bool open = false;
};

SqliteStoreWriter::SqliteStoreWriter(const std::string& path, Mode mode)
    : state_(std::make_unique<State>(path)) {
  SqliteDb& db = state_->db;
  if (mode == Mode::Scratch) db.exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF");
  db.exec("BEGIN IMMEDIATE");
  state_->open = true;
  // In the order of store_tables().
  Statement* inserts[] = {&state_->macro, &state_->step, &state_->parameter, &state_->progress};
  for (std::size_t t = 0; t < std::size(inserts); ++t) {
    const SchemaTable& table = store_tables()[t];
    db.exec(create_table_sql(table, Dialect::SQLite).c_str());
    *inserts[t] = db.prepare(insert_sql(table));
  }
}

SqliteStoreWriter::~SqliteStoreWriter() {
  if (!state_->open) return;
  // Release the statements first: a rollback with statements still running would fail.
  state_->macro = {}, state_->step = {}, state_->parameter = {}, state_->progress = {};
  try {
    state_->db.exec("ROLLBACK");
  } catch (...) {
  }
}

void SqliteStoreWriter::insert_macro(const MacroRow& row) {
  Statement& s = state_->macro;
  StatementRun run(s);
  s.bind(1, std::string_view(row.container));
  s.bind(2, std::string_view(row.guid));
  s.bind(3, row.name);
  s.bind(4, row.edit_state);
  s.bind(5, row.run_state);
  s.bind(6, row.next_item);
  s.bind(7, row.last_start);
  s.bind(8, row.last_completion);
  s.bind(9, row.failure_note);
  s.bind(10, row.execution_command);
  s.step();
}

void SqliteStoreWriter::insert_step(const StepRow& row) {
  Statement& s = state_->step;
  StatementRun run(s);
  s.bind(1, std::string_view(row.guid));
  s.bind(2, std::string_view(row.macro_guid));
  s.bind(3, row.position);
  s.bind(4, row.heading);
  s.bind(5, row.method_name);
  s.bind(6, row.edit_state);
  s.bind(7, row.run_state);
  s.bind(8, row.started);
  s.bind(9, row.ended);
  std::visit(
      [&](const auto& value) {
        using V = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<V, std::monostate>)
          s.bind_null(10);
        else if constexpr (std::is_same_v<V, std::string>)
          s.bind(10, std::string_view(value));
        else
          s.bind(10, value);
      },
      row.progress);
  s.bind(11, row.validation_failure_note);
  s.step();
}

void SqliteStoreWriter::insert_parameter(const ParameterRow& row) {
  Statement& s = state_->parameter;
  StatementRun run(s);
  s.bind(1, std::string_view(row.step_guid));
  s.bind(2, std::string_view(row.name));
  s.bind(3, row.value);
  s.step();
}

void SqliteStoreWriter::insert_progress(const ProgressRow& row) {
  Statement& s = state_->progress;
  StatementRun run(s);
  s.bind(1, std::string_view(row.step_guid));
  s.bind(2, row.seq);
  s.bind(3, row.logged_at);
  s.bind(4, row.message);
  if (row.progress)
    s.bind(5, *row.progress);
  else
    s.bind_null(5);
  if (row.level)
    s.bind(6, *row.level);
  else
    s.bind_null(6);
  s.bind(7, row.component);
  s.bind(8, row.module);
  s.bind(9, row.procedure);
  s.step();
}

void SqliteStoreWriter::commit() {
  state_->db.exec(kStoreIndexes);
  state_->db.exec("COMMIT");
  state_->open = false;
}

void create_store(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    raise_store_error(StoreError::StoreNotWritten, {kModule, "Create"},
                      fmt::format("'{}' already exists; remove it or choose another path", path));
  }
  SqliteStoreWriter writer(path);
  writer.commit();
}

void build_store(const std::string& path, const std::function<void(StoreWriter&)>& fill) {
  Where where{kModule, "Build"};
  std::string temporary = path + ".building";
  std::error_code ec;
  std::filesystem::remove(temporary, ec);
  try {
    SqliteStoreWriter writer(temporary, SqliteStoreWriter::Mode::Scratch);
    fill(writer);
    writer.commit();
  } catch (...) {
    std::filesystem::remove(temporary, ec);
    throw;
  }
  std::filesystem::rename(temporary, path, ec);
  if (ec) {
    std::string reason = ec.message();
    std::filesystem::remove(temporary, ec);
    raise_store_error(StoreError::StoreNotWritten, where,
                      fmt::format("Cannot put the new store at '{}': {}", path, reason));
  }
}

std::string sqlite_connection_text(const std::string& path) {
  return "Driver=SQLite;Database=" + quote_connection_value(path);
}

std::string connection_document_text(const std::string& location, const std::string& container,
                                     const std::string& connection) {
  pugi::xml_document document;
  pugi::xml_node declaration = document.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "UTF-8";
  pugi::xml_node root = document.append_child("macrocontainerconnection");
  root.append_child("location").text() = location.c_str();
  root.append_child("applicationcontainer").text() = container.c_str();
  root.append_child("connection").text() = connection.c_str();
  std::ostringstream out;
  document.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  return out.str();
}

}  // namespace tarvex::tools
