// A thin owner of one PostgreSQL connection, shared by the store reader and the store builder:
// connecting from connection text, prepared statements whose rows are streamed one at a time or
// sent several at once, COPY, and turning a column into a variant. Failures are raised as store
// errors that name the server and the database and never show the password, libpq's own messages
// included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
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

// One row of a result, valid while the result is.
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

// The owner of one libpq result, freed with the object: a statement's rows, its completion, or
// the server's refusal.
class PgResult {
 public:
  PgResult() = default;
  explicit PgResult(pg_result* result) : result_(result) {}
  ~PgResult();
  PgResult(PgResult&& other) noexcept : result_(std::exchange(other.result_, nullptr)) {}
  PgResult& operator=(PgResult&& other) noexcept;

  explicit operator bool() const { return result_ != nullptr; }
  // Whether the statement ran: it completed, or returned rows.
  bool ok() const;
  int rows() const;
  PgRow row(int row) const { return PgRow(result_, row); }
  const pg_result* get() const { return result_; }

 private:
  pg_result* result_ = nullptr;
};

// One statement of a read: the prepared statement `name` run with `params` (nullptr for NULL),
// or, when `sql` is given, `name` prepared from it.
struct PgCall {
  std::string name;
  std::vector<const char*> params;
  std::string sql = {};
};

// Inside a transaction every read runs in a savepoint of its own, sent in the same round trip:
// a read the server refuses (a table the login may not read, a row a view cannot compute, a
// statement timeout) is rolled back to its savepoint, so that it fails alone and later reads go
// on in the same transaction and snapshot. A lost connection fails every read.
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

  // Runs `sql` (one or more statements) as it is, outside any savepoint.
  void exec(const std::string& sql);
  // Prepares `sql` under `name`; parameters are $1, $2, ... as text.
  void prepare(const std::string& name, std::string_view sql);
  // Runs the prepared statement with `params` (nullptr for NULL) and hands each row to `row` as
  // it arrives, so that no more than one row is held by the connection at a time.
  void each_row(const std::string& name, const std::vector<const char*>& params,
                const std::function<void(const PgRow&)>& row);
  // Sends the reads `now` and `ahead` in one round trip and returns the result of now's last
  // call, or the refusal of the first that failed (then `ahead` does not run). `ahead` is left
  // on its way, so that the server works on it while the caller does something else: pending()
  // names it, take() returns its last call's result or refusal, and the next statement parks it
  // for take() to find. Raises only when the connection is lost.
  PgResult pipeline(const std::vector<PgCall>& now, const std::vector<PgCall>& ahead = {});
  std::uint64_t pending() const { return pending_ ? sent_ : 0; }
  // The result of the `ahead` that pending() named `id`, nullopt when there is none.
  std::optional<PgResult> take(std::uint64_t id);
  // Runs "COPY ... FROM STDIN" (text format) with the data that `fill` sends through `put`.
  void copy_in(const std::string& sql,
               const std::function<void(const std::function<void(std::string_view)>& put)>& fill);

  const std::string& label() const { return label_; }
  // Raises the store error with `reason` and the connection's last message.
  [[noreturn]] void fail(std::string_view reason, std::string message) const;
  // Raises the store error for a statement the server refused (or that never got an answer),
  // with the server's own message.
  [[noreturn]] void fail(const PgResult& refused) const;

 private:
  using RowSink = std::function<void(const PgRow&)>;
  // One read's outcome as it arrives: its last call's result, the first refusal, and what the
  // row sink threw.
  struct Received {
    PgResult last, refused;
    std::exception_ptr thrown;
  };
  PgResult run(const std::vector<PgCall>& now, const std::vector<PgCall>& ahead,
               const RowSink* rows);
  void send(const std::vector<PgCall>& read);
  Received receive(std::size_t calls, const RowSink* rows);
  // Takes the sync that ends the pipeline and leaves pipeline mode.
  void end_pipeline();
  // After a refusal: back to the state before the read.
  void roll_back();
  PgResult take_pending();
  void park();
  bool connection_lost(const PgResult& refused) const;
  [[noreturn]] void lost(const PgResult& refused);
  std::string scrubbed(std::string message) const;

  pg_conn* conn_ = nullptr;
  std::string label_;
  std::string password_;
  StoreError kind_;
  std::string module_;
  std::string procedure_;
  bool guarded_ = false;     // the reads on their way run in savepoints
  std::size_t pending_ = 0;  // calls of the last `ahead` not yet received
  std::uint64_t sent_ = 0;   // pipelines sent
  std::map<std::uint64_t, PgResult> parked_;
};

// A value as COPY's text format writes it: \N for NULL, backslash, tab, line feed and carriage
// return escaped.
void append_copy_value(std::string& line, const std::string* value);

}  // namespace tarvex::companions::store
