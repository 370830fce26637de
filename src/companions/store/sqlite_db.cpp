// SQLite connections and statements, and the words for their failures.
#include "companions/store/sqlite_db.h"

#include <fmt/format.h>
#include <sqlite3.h>
#include <filesystem>

#include "automation/convert.h"
#include "automation/file_path.h"
#include "companions/store/macro_store_driver.h"

namespace tarvex::companions::store {

using automation::Variant;

void Statement::finalize(sqlite3_stmt* stmt) {
  sqlite3_finalize(stmt);
}

void Statement::bind(int index, std::string_view text) {
  int rc = sqlite3_bind_text(stmt_.get(), index, text.data(), static_cast<int>(text.size()),
                             SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) db_->fail(rc);
}

void Statement::bind(int index, std::int64_t number) {
  int rc = sqlite3_bind_int64(stmt_.get(), index, number);
  if (rc != SQLITE_OK) db_->fail(rc);
}

void Statement::bind(int index, double number) {
  int rc = sqlite3_bind_double(stmt_.get(), index, number);
  if (rc != SQLITE_OK) db_->fail(rc);
}

void Statement::bind_null(int index) {
  int rc = sqlite3_bind_null(stmt_.get(), index);
  if (rc != SQLITE_OK) db_->fail(rc);
}

void Statement::bind(int index, const std::optional<std::string>& text) {
  if (text)
    bind(index, std::string_view(*text));
  else
    bind_null(index);
}

void Statement::bind(int index, const Variant& value) {
  if (value.is_null())
    bind_null(index);
  else
    bind(index, std::string_view(automation::to_text(value)));
}

bool Statement::step() {
  int rc = sqlite3_step(stmt_.get());
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  db_->fail(rc);
}

void Statement::reset() {
  if (!stmt_) return;
  sqlite3_reset(stmt_.get());
  sqlite3_clear_bindings(stmt_.get());
}

int Statement::column_count() const {
  return sqlite3_column_count(stmt_.get());
}

Variant Statement::column(int index, bool date_time) const {
  sqlite3_stmt* stmt = stmt_.get();
  switch (sqlite3_column_type(stmt, index)) {
    case SQLITE_INTEGER:
      return integer_cell(sqlite3_column_int64(stmt, index));
    case SQLITE_FLOAT:
      return Variant(sqlite3_column_double(stmt, index));
    case SQLITE_NULL:
      return Variant(automation::Null{});
    case SQLITE_BLOB: {
      const void* bytes = sqlite3_column_blob(stmt, index);
      int size = sqlite3_column_bytes(stmt, index);
      return Variant(std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size)));
    }
    default: {
      const unsigned char* text = sqlite3_column_text(stmt, index);
      int size = sqlite3_column_bytes(stmt, index);
      return text_cell(
          std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size)),
          date_time);
    }
  }
}

SqliteDb::SqliteDb(const std::string& path, Mode mode, std::string label, StoreError kind,
                   Where where, int busy_timeout_ms)
    : label_(std::move(label)),
      kind_(kind),
      module_(where.module),
      procedure_(where.procedure),
      busy_timeout_ms_(busy_timeout_ms) {
  std::error_code ec;
  if (mode == Mode::ReadOnly && !std::filesystem::exists(automation::file_path(path), ec)) {
    raise_store_error(kind_, {module_, procedure_},
                      label_ + " does not exist; check the Database path of the connection");
  }
  // A connection is only ever used by the thread that opened it: SQLite's own locking around
  // every call (a tenth of a report's run) buys nothing.
  int flags =
      SQLITE_OPEN_NOMUTEX |
      (mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    // The handle carries the message even when opening failed; fail() needs it, then it goes.
    struct Closer {
      sqlite3*& db;
      ~Closer() {
        sqlite3_close(db);
        db = nullptr;
      }
    } closer{db_};
    fail(rc);
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, busy_timeout_ms_);
}

SqliteDb::~SqliteDb() {
  sqlite3_close(db_);
}

void SqliteDb::exec(const char* sql) {
  int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) fail(rc);
}

Statement SqliteDb::prepare(std::string_view sql) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(stmt);
    fail(rc, Stage::Prepare);
  }
  return Statement(*this, stmt);
}

void SqliteDb::fail(int rc, Stage stage) const {
  std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
  std::string reason;
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      reason = fmt::format(
          "is locked by another program (waited {:g} s): {}; try again when the other "
          "program has finished writing",
          busy_timeout_ms_ / 1000.0, message);
      break;
    case SQLITE_NOTADB:
      reason = "is not a SQLite database: " + message;
      break;
    case SQLITE_CORRUPT:
      reason = "is damaged: " + message;
      break;
    case SQLITE_CANTOPEN:
      reason = "cannot be opened: " + message;
      break;
    case SQLITE_ERROR:
      // Our statements are right for a store: one that does not prepare names a table or a
      // column the file lacks.
      reason = (stage == Stage::Prepare ? "is not a macro store: " : "cannot be read: ") + message;
      break;
    default:
      reason = "failed: " + message;
      break;
  }
  raise_store_error(kind_, {module_, procedure_}, label_ + " " + reason);
}

}  // namespace tarvex::companions::store
