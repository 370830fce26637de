// A thin owner of one SQLite connection and its prepared statements, shared by the store reader
// and the store builder: RAII handles, binding, stepping, and turning a column into a variant.
// Failures are raised as store errors whose description begins with the store's name.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "automation/variant.h"
#include "companions/store/store_errors.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tarvex::companions::store {

class SqliteDb;

// One prepared statement; reused by reset(), which also releases the read lock it holds.
class Statement {
 public:
  Statement() = default;
  Statement(SqliteDb& db, sqlite3_stmt* stmt) : db_(&db), stmt_(stmt, &finalize) {}
  explicit operator bool() const { return stmt_ != nullptr; }

  // Parameters are numbered from 1.
  void bind(int index, std::string_view text);
  void bind(int index, std::int64_t number);
  void bind(int index, double number);
  void bind_null(int index);
  void bind(int index, const std::optional<std::string>& text);
  // Null binds NULL; anything else binds its text form.
  void bind(int index, const automation::Variant& value);

  // Advances to the next row: true while there is one; raises on failure.
  bool step();
  // Ready for the next run, bindings cleared.
  void reset();

  int column_count() const;
  sqlite3_stmt* handle() const { return stmt_.get(); }
  // The column as a variant: INTEGER -> Long (Double beyond 32 bits), REAL -> Double, TEXT ->
  // String, NULL -> Null, BLOB -> String of its bytes. With `date_time`, a text that reads as
  // a date-time becomes a Date; any other value stays as it is.
  automation::Variant column(int index, bool date_time = false) const;

 private:
  static void finalize(sqlite3_stmt* stmt);
  SqliteDb* db_ = nullptr;
  std::unique_ptr<sqlite3_stmt, void (*)(sqlite3_stmt*)> stmt_{nullptr, &finalize};
};

// Resets a statement when the scope that ran it ends, on the error path too.
class StatementRun {
 public:
  explicit StatementRun(Statement& statement) : statement_(statement) {}
  ~StatementRun() { statement_.reset(); }
  StatementRun(const StatementRun&) = delete;
  StatementRun& operator=(const StatementRun&) = delete;

 private:
  Statement& statement_;
};

class SqliteDb {
 public:
  enum class Mode { ReadOnly, Create };

  // `label` begins every error description, e.g. "The macro store '/data/store.db'". ReadOnly
  // needs an existing file; Create makes the file if it is missing.
  SqliteDb(const std::string& path, Mode mode, std::string label, StoreError kind, Where where,
           int busy_timeout_ms);
  ~SqliteDb();
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  void exec(const char* sql);
  Statement prepare(std::string_view sql);
  sqlite3* handle() const { return db_; }

  // Where a failure happened: preparing a statement, or running one.
  enum class Stage { Prepare, Run };
  // Raises the store error for SQLite result code `rc`, with the connection's message.
  [[noreturn]] void fail(int rc, Stage stage = Stage::Run) const;

 private:
  sqlite3* db_ = nullptr;
  std::string label_;
  StoreError kind_;
  std::string module_;
  std::string procedure_;
  int busy_timeout_ms_;
};

}  // namespace tarvex::companions::store
