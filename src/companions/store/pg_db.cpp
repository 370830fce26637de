// PostgreSQL connections, streamed and pipelined statements, COPY, and the words for their
// failures.
#include "companions/store/pg_db.h"

#include <fmt/format.h>
#include <libpq-fe.h>
#include <algorithm>
#include <cctype>
#include <charconv>

#include "companions/store/macro_store_driver.h"

namespace tarvex::companions::store {

using automation::Variant;

namespace {

// The prepared statements that begin and end every read of a transaction.
constexpr const char* kSavepoint = "tarvex_savepoint";
constexpr const char* kRelease = "tarvex_release";

// Type numbers of the built-in types the store uses.
constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kFloat4 = 700, kFloat8 = 701,
              kNumeric = 1700, kTimestamp = 1114;

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// libpq's messages span lines ("...failed: ...\n\tIs the server running...?\n"): one line.
std::string one_line(std::string message) {
  std::string out;
  for (char c : message) {
    if (c == '\n' || c == '\t' || c == '\r') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The libpq parameter of a connection text key.
std::string parameter_name(std::string_view key) {
  std::string k = lower(key);
  if (k == "database") k = "dbname";
  if (k == "connecttimeout") k = "connect_timeout";
  return k;
}

// Whether libpq takes `name` as a connection parameter; keys it does not know are left out, as
// any driver ignores the keys it does not use.
bool libpq_parameter(const std::string& name) {
  static const std::vector<std::string> known = [] {
    std::vector<std::string> names;
    PQconninfoOption* options = PQconndefaults();
    for (PQconninfoOption* o = options; o && o->keyword; ++o) names.emplace_back(o->keyword);
    PQconninfoFree(options);
    return names;
  }();
  return std::find(known.begin(), known.end(), name) != known.end();
}

}  // namespace

int PgRow::columns() const {
  return PQnfields(result_);
}

Variant PgRow::value(int column, bool date_time) const {
  if (PQgetisnull(result_, row_, column)) return Variant(automation::Null{});
  const char* text = PQgetvalue(result_, row_, column);
  const char* end = text + PQgetlength(result_, row_, column);
  switch (PQftype(result_, column)) {
    case kInt2:
    case kInt4:
    case kInt8: {
      std::int64_t n = 0;
      auto [stop, ec] = std::from_chars(text, end, n);
      if (ec == std::errc() && stop == end) return integer_cell(n);
      break;
    }
    case kFloat4:
    case kFloat8:
    case kNumeric: {
      // The server writes "NaN" and "Infinity" too, which from_chars reads; no locale applies.
      double x = 0;
      auto [stop, ec] = std::from_chars(text, end, x);
      if (ec == std::errc() && stop == end) return Variant(x);
      break;
    }
    case kBool:
      return Variant(std::string_view(text, end) == "t");
    case kTimestamp:
      date_time = true;
      break;
    default:
      break;
  }
  return text_cell(std::string_view(text, end), date_time);
}

PgResult::~PgResult() {
  PQclear(result_);
}

PgResult& PgResult::operator=(PgResult&& other) noexcept {
  if (this != &other) {
    PQclear(result_);
    result_ = std::exchange(other.result_, nullptr);
  }
  return *this;
}

bool PgResult::ok() const {
  const ExecStatusType status = PQresultStatus(result_);
  return result_ &&
         (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_SINGLE_TUPLE);
}

int PgResult::rows() const {
  return result_ ? PQntuples(result_) : 0;
}

PgDb::PgDb(const ConnectionText& connection, std::string_view noun, StoreError kind, Where where)
    : kind_(kind), module_(where.module), procedure_(where.procedure) {
  std::vector<std::string> keys, values;
  bool timeout = false;
  for (const ConnectionProperty& p : connection.properties()) {
    std::string name = parameter_name(p.key);
    if (!libpq_parameter(name)) continue;
    timeout = timeout || name == "connect_timeout";
    keys.push_back(std::move(name));
    values.push_back(p.value);
  }
  if (!timeout) {
    keys.emplace_back("connect_timeout");
    values.emplace_back("10");
  }
  keys.emplace_back("client_encoding");
  values.emplace_back("UTF8");
  std::vector<const char*> key_ptrs, value_ptrs;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    key_ptrs.push_back(keys[i].c_str());
    value_ptrs.push_back(values[i].c_str());
  }
  key_ptrs.push_back(nullptr);
  value_ptrs.push_back(nullptr);

  password_ = connection.value("Password").value_or("");
  std::string host = connection.value("Host").value_or("localhost");
  std::string port = connection.value("Port").value_or("5432");
  std::string database =
      connection.value("Database").value_or(connection.value("User").value_or(""));
  label_ = fmt::format("{} '{}' on the server '{}:{}'", noun, database, host, port);

  // expand_dbname 0: a Database value is a name, never read as more connection text.
  conn_ = PQconnectdbParams(key_ptrs.data(), value_ptrs.data(), 0);
  if (conn_ == nullptr) fail("cannot be opened", "out of memory");
  if (PQstatus(conn_) != CONNECTION_OK) {
    std::string message = PQerrorMessage(conn_);
    PQfinish(conn_);
    conn_ = nullptr;
    fail("cannot be opened", std::move(message));
  }
  // The server's notices (a shutdown warning, say) would go to standard error, beside the one
  // error line the host prints; what matters reaches the caller as the error itself.
  PQsetNoticeProcessor(
      conn_, [](void*, const char*) {}, nullptr);
  try {
    exec("SET datestyle TO ISO, YMD; SET extra_float_digits TO 3");
    // Prepared once: every read of a transaction runs between these two.
    PgResult prepared = run({{kSavepoint, {}, "SAVEPOINT tarvex_read"},
                             {kRelease, {}, "RELEASE SAVEPOINT tarvex_read"}},
                            {}, nullptr);
    if (!prepared.ok()) fail(prepared);
  } catch (...) {
    PQfinish(conn_);
    throw;
  }
}

PgDb::~PgDb() {
  PQfinish(conn_);
}

void PgDb::exec(const std::string& sql) {
  park();
  PgResult result(PQexec(conn_, sql.c_str()));
  if (!result.ok()) fail(result);
}

void PgDb::prepare(const std::string& name, std::string_view sql) {
  PgResult result = run({{name, {}, std::string(sql)}}, {}, nullptr);
  if (!result.ok()) fail(result);
}

void PgDb::each_row(const std::string& name, const std::vector<const char*>& params,
                    const RowSink& row) {
  PgResult result = run({{name, params}}, {}, &row);
  if (!result.ok()) fail(result);
}

PgResult PgDb::pipeline(const std::vector<PgCall>& now, const std::vector<PgCall>& ahead) {
  return run(now, ahead, nullptr);
}

PgResult PgDb::run(const std::vector<PgCall>& now, const std::vector<PgCall>& ahead,
                   const RowSink* rows) {
  park();
  guarded_ = PQtransactionStatus(conn_) == PQTRANS_INTRANS;
  if (!PQenterPipelineMode(conn_)) lost(PgResult());
  if (!now.empty()) send(now);
  if (!ahead.empty()) send(ahead);
  if (!PQpipelineSync(conn_)) lost(PgResult());
  ++sent_;
  Received received;
  if (!now.empty()) received = receive(now.size(), rows);
  if (received.refused && !ahead.empty()) receive(ahead.size(), nullptr);  // aborted unrun
  if (received.refused || ahead.empty()) {
    end_pipeline();
    if (received.refused) roll_back();
  } else {
    pending_ = ahead.size();
  }
  if (received.thrown) std::rethrow_exception(received.thrown);
  return received.refused ? std::move(received.refused) : std::move(received.last);
}

void PgDb::send(const std::vector<PgCall>& read) {
  auto sent = [&](int result) {
    if (!result) lost(PgResult());
  };
  if (guarded_) sent(PQsendQueryPrepared(conn_, kSavepoint, 0, nullptr, nullptr, nullptr, 0));
  for (const PgCall& call : read) {
    if (call.sql.empty()) {
      sent(PQsendQueryPrepared(conn_, call.name.c_str(), static_cast<int>(call.params.size()),
                               call.params.data(), nullptr, nullptr, 0));
    } else {
      sent(PQsendPrepare(conn_, call.name.c_str(), call.sql.c_str(), 0, nullptr));
    }
  }
  if (guarded_) sent(PQsendQueryPrepared(conn_, kRelease, 0, nullptr, nullptr, nullptr, 0));
}

PgDb::Received PgDb::receive(std::size_t calls, const RowSink* rows) {
  // Every statement's results are taken, also after a refusal (the server aborts the rest of
  // the pipeline), so that the connection is ready for the next.
  Received out;
  const std::size_t statements = calls + (guarded_ ? 2 : 0);
  const std::size_t last = guarded_ ? calls : calls - 1;
  for (std::size_t i = 0; i < statements; ++i) {
    if (rows && i == last) PQsetSingleRowMode(conn_);
    PgResult result(PQgetResult(conn_));
    if (!result) lost(out.refused);  // libpq may still call the connection good, the server gone
    for (; result; result = PgResult(PQgetResult(conn_))) {
      const ExecStatusType status = PQresultStatus(result.get());
      if (status == PGRES_SINGLE_TUPLE) {
        if (out.refused || out.thrown) continue;
        try {
          (*rows)(PgRow(result.get()));
        } catch (...) {
          out.thrown = std::current_exception();
        }
      } else if (status == PGRES_PIPELINE_ABORTED) {
        continue;
      } else if (!result.ok()) {
        if (!out.refused) out.refused = std::move(result);
      } else if (i == last) {
        out.last = std::move(result);
      }
    }
  }
  if (out.refused && connection_lost(out.refused)) lost(out.refused);
  return out;
}

void PgDb::end_pipeline() {
  for (;;) {
    PgResult result(PQgetResult(conn_));
    if (!result) lost(PgResult());
    if (PQresultStatus(result.get()) == PGRES_PIPELINE_SYNC) break;
  }
  if (!PQexitPipelineMode(conn_)) lost(PgResult());
}

void PgDb::roll_back() {
  if (guarded_) exec("ROLLBACK TO SAVEPOINT tarvex_read; RELEASE SAVEPOINT tarvex_read");
}

std::optional<PgResult> PgDb::take(std::uint64_t id) {
  if (id != 0 && id == pending()) return take_pending();
  auto parked = parked_.find(id);
  if (parked == parked_.end()) return std::nullopt;
  PgResult result = std::move(parked->second);
  parked_.erase(parked);
  return result;
}

PgResult PgDb::take_pending() {
  Received received = receive(pending_, nullptr);
  pending_ = 0;
  end_pipeline();
  if (!received.refused) return std::move(received.last);
  roll_back();
  return std::move(received.refused);
}

void PgDb::park() {
  if (pending_) {
    const std::uint64_t id = sent_;
    parked_[id] = take_pending();
  }
}

void PgDb::copy_in(
    const std::string& sql,
    const std::function<void(const std::function<void(std::string_view)>& put)>& fill) {
  park();
  {
    PgResult started(PQexec(conn_, sql.c_str()));
    if (PQresultStatus(started.get()) != PGRES_COPY_IN) fail(started);
  }
  bool ok = true;
  std::exception_ptr thrown;
  try {
    fill([&](std::string_view data) {
      if (ok && PQputCopyData(conn_, data.data(), static_cast<int>(data.size())) != 1) ok = false;
    });
  } catch (...) {
    thrown = std::current_exception();
  }
  PQputCopyEnd(conn_, thrown ? "cancelled" : nullptr);
  PgResult refused;
  while (PgResult result = PgResult(PQgetResult(conn_))) {
    if (!result.ok() && !refused) refused = std::move(result);
  }
  if (thrown) std::rethrow_exception(thrown);
  if (refused || !ok) fail(refused);
}

std::string PgDb::scrubbed(std::string message) const {
  if (!password_.empty()) {
    for (std::size_t at = 0; (at = message.find(password_, at)) != std::string::npos;) {
      message.replace(at, password_.size(), kPasswordMask);
      at += kPasswordMask.size();
    }
  }
  return message;
}

void PgDb::fail(std::string_view reason, std::string message) const {
  raise_store_error(kind_, {module_, procedure_},
                    scrubbed(fmt::format("{} {}: {}", label_, reason, one_line(message))));
}

bool PgDb::connection_lost(const PgResult& refused) const {
  const char* state = refused ? PQresultErrorField(refused.get(), PG_DIAG_SQLSTATE) : nullptr;
  const std::string_view sqlstate = state ? state : "";
  return PQstatus(conn_) != CONNECTION_OK || sqlstate.starts_with("08") ||
         sqlstate.starts_with("57P");
}

void PgDb::lost(const PgResult& refused) {
  pending_ = 0;
  const char* primary =
      refused ? PQresultErrorField(refused.get(), PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  fail("lost its connection to the server", primary ? primary : PQerrorMessage(conn_));
}

void PgDb::fail(const PgResult& refused) const {
  // The server's primary message alone: without "ERROR:" and the echo of the statement.
  const char* primary =
      refused ? PQresultErrorField(refused.get(), PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  std::string message = primary ? primary : PQerrorMessage(conn_);
  const char* state = refused ? PQresultErrorField(refused.get(), PG_DIAG_SQLSTATE) : nullptr;
  const std::string_view sqlstate = state ? state : "";
  std::string_view reason = "failed";
  if (connection_lost(refused)) {
    reason = "lost its connection to the server";
  } else if (sqlstate == "42P01" || sqlstate == "42703") {
    reason = "is not a macro store";
  } else if (sqlstate == "42501") {
    reason = "cannot be read";
  }
  fail(reason, std::move(message));
}

void append_copy_value(std::string& line, const std::string* value) {
  if (!value) {
    line += "\\N";
    return;
  }
  for (char c : *value) {
    switch (c) {
      case '\\':
        line += "\\\\";
        break;
      case '\t':
        line += "\\t";
        break;
      case '\n':
        line += "\\n";
        break;
      case '\r':
        line += "\\r";
        break;
      default:
        line += c;
    }
  }
}

}  // namespace tarvex::companions::store
