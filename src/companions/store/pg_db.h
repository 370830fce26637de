// A thin owner of one PostgreSQL connection, shared by the store reader and the store builder:
// connecting from connection text, prepared statements whose rows are streamed one at a time or
// sent several at once, COPY, and turning a column into a variant. Failures are raised as store
// errors that name the server and the database and never show the password, libpq's own messages
// included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "automation/variant.h"
#include "companions/store/connection_text.h"
#include "companions/store/store_errors.h"

struct pg_conn;
struct pg_result;

namespace tarvex::companions::store {

// One row of a result.
class PgRow {
 public:
  explicit PgRow(const pg_result* result, int row = 0) : result_(result), row_(row) {}
  int columns() const;
  // The column as a variant: integers -> Long (Double beyond 32 bits), floating and numeric ->
  // Double, boolean -> Boolean, timestamps -> Date, NULL -> Null, anything else -> String. With
  // `date_time`, a text that reads as a date-time becomes a Date too.
  automation::Variant value(int column, bool date_time = false) const;

 private:
  const pg_result* result_;
  int row_;
};

// A statement's whole result, freed with the object.
class PgResult {
 public:
  explicit PgResult(pg_result* result = nullptr) : result_(result) {}
  ~PgResult();
  PgResult(PgResult&& other) noexcept : result_(std::exchange(other.result_, nullptr)) {}
  PgResult& operator=(PgResult&& other) noexcept;
  int rows() const;
  PgRow row(int row) const { return PgRow(result_, row); }

 private:
  pg_result* result_;
};

// A prepared statement's name and its parameters (nullptr for NULL) as text.
struct PgCall {
  std::string name;
  std::vector<const char*> params;
};

class PgDb {
 public:
  // Connects with the connection text's parameters (Host, Port, Database, User, Password,
  // ConnectTimeout with 10 s by default, any other key that libpq knows passed on under its
  // name in lower case, keys it does not know left out), in UTF-8, date-times in ISO form. `noun`
  // begins every error description, followed by the database and server, e.g. "The macro store
  // 'macros' on the server 'db1:5432'".
  PgDb(const ConnectionText& connection, std::string_view noun, StoreError kind, Where where);
  ~PgDb();
  PgDb(const PgDb&) = delete;
  PgDb& operator=(const PgDb&) = delete;

  void exec(const std::string& sql);
  // Prepares `sql` under `name`; parameters are $1, $2, ... as text.
  void prepare(const std::string& name, std::string_view sql);
  // Runs the prepared statement with `params` (nullptr for NULL) and hands each row to `row` as
  // it arrives, so that no more than one row is held by the connection at a time.
  void each_row(const std::string& name, const std::vector<const char*>& params,
                const std::function<void(const PgRow&)>& row);
  // Sends `calls` in one round trip and returns the result of the last of the first `now` whole;
  // the others' are dropped. The first that fails raises the error, and those after it do not
  // run. The calls after the first `now` are left on their way, so that the server works on them
  // while the caller does something else: pending() names them, take() returns the last one's
  // result, and the next statement parks them for take() to find.
  PgResult pipeline(const std::vector<PgCall>& calls, std::size_t now = SIZE_MAX);
  std::uint64_t pending() const { return pending_ ? sent_ : 0; }
  // The result of the last call of the calls that pending() named `id`, nullopt when none are.
  std::optional<PgResult> take(std::uint64_t id);
  // Runs "COPY ... FROM STDIN" (text format) with the data that `fill` sends through `put`.
  void copy_in(const std::string& sql,
               const std::function<void(const std::function<void(std::string_view)>& put)>& fill);

  const std::string& label() const { return label_; }
  // Raises the store error with `reason` and the connection's last message.
  [[noreturn]] void fail(std::string_view reason, std::string message) const;

 private:
  [[noreturn]] void fail_result(const pg_result* result) const;
  // Takes the next `count` results of the pipeline and returns the last; `rest` stay pending.
  PgResult receive(std::size_t count, std::size_t rest);
  void park();
  std::string scrubbed(std::string message) const;

  pg_conn* conn_ = nullptr;
  std::string label_;
  std::string password_;
  StoreError kind_;
  std::string module_;
  std::string procedure_;
  std::size_t pending_ = 0;  // calls of the last pipeline not yet received
  std::uint64_t sent_ = 0;   // pipelines sent
  std::map<std::uint64_t, PgResult> parked_;
};

// A value as COPY's text format writes it: \N for NULL, backslash, tab, line feed and carriage
// return escaped.
void append_copy_value(std::string& line, const std::string* value);

}  // namespace tarvex::companions::store
