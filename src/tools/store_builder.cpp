// The SQLite store schema, the writer that fills a store, and the connection document.
#include "tools/store_builder.h"

#include <fmt/format.h>
#include <array>
#include <filesystem>
#include <pugixml.hpp>
#include <sstream>

#include "automation/convert.h"
#include "companions/store/connection_text.h"
#include "companions/store/file_output.h"
#include "companions/store/sqlite_db.h"

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

constexpr const char* kTables = R"sql(
CREATE TABLE IF NOT EXISTS macro (
  container          TEXT NOT NULL,
  guid               TEXT NOT NULL,
  name               TEXT,
  edit_state         TEXT,
  run_state          TEXT,
  next_item          TEXT,
  last_start         TEXT,
  last_completion    TEXT,
  failure_note       TEXT,
  execution_command  TEXT
);
CREATE TABLE IF NOT EXISTS macro_step (
  guid                     TEXT NOT NULL,
  macro_guid               TEXT NOT NULL,
  position                 INTEGER NOT NULL,
  heading                  TEXT,
  method_name              TEXT,
  edit_state               TEXT,
  run_state                TEXT,
  started                  TEXT,
  ended                    TEXT,
  progress,
  validation_failure_note  TEXT
);
CREATE TABLE IF NOT EXISTS macro_step_parameter (
  step_guid  TEXT NOT NULL,
  name       TEXT NOT NULL,
  value      TEXT
);
CREATE TABLE IF NOT EXISTS macro_step_progress (
  step_guid  TEXT NOT NULL,
  seq        INTEGER NOT NULL,
  logged_at  TEXT,
  message    TEXT,
  progress   REAL,
  level      INTEGER,
  component  TEXT,
  module     TEXT,
  procedure  TEXT
);
)sql";

// One index for every lookup the readers make; built after the rows, which is faster.
constexpr const char* kIndexes = R"sql(
CREATE INDEX IF NOT EXISTS macro_by_container_name ON macro (container, name, guid);
CREATE INDEX IF NOT EXISTS macro_by_guid ON macro (guid, container);
CREATE INDEX IF NOT EXISTS macro_step_by_macro ON macro_step (macro_guid, position);
CREATE INDEX IF NOT EXISTS macro_step_parameter_by_step ON macro_step_parameter (step_guid);
CREATE INDEX IF NOT EXISTS macro_step_progress_by_step ON macro_step_progress (step_guid, seq);
)sql";

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
  db.exec(kTables);
  state_->macro = db.prepare(
      "INSERT INTO macro (container, guid, name, edit_state, run_state, next_item, last_start, "
      "last_completion, failure_note, execution_command) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, "
      "?9, ?10)");
  state_->step = db.prepare(
      "INSERT INTO macro_step (guid, macro_guid, position, heading, method_name, edit_state, "
      "run_state, started, ended, progress, validation_failure_note) VALUES (?1, ?2, ?3, ?4, ?5, "
      "?6, ?7, ?8, ?9, ?10, ?11)");
  state_->parameter =
      db.prepare("INSERT INTO macro_step_parameter (step_guid, name, value) VALUES (?1, ?2, ?3)");
  state_->progress = db.prepare(
      "INSERT INTO macro_step_progress (step_guid, seq, logged_at, message, progress, level, "
      "component, module, procedure) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
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
  state_->db.exec(kIndexes);
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
