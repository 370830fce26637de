// PostgreSQL connections, streamed and pipelined statements, COPY, and the words for their
// failures.
#include "companions/store/pg_db.h"

#include <fmt/format.h>
#include <libpq-fe.h>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

#include "automation/convert.h"

namespace tarvex::companions::store {

using automation::Variant;

namespace {

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
  std::string_view view(text, static_cast<std::size_t>(PQgetlength(result_, row_, column)));
  switch (PQftype(result_, column)) {
    case kInt2:
    case kInt4:
    case kInt8: {
      std::int64_t n = 0;
      auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), n);
      if (ec != std::errc() || end != view.data() + view.size()) break;
      if (n >= std::numeric_limits<std::int32_t>::min() &&
          n <= std::numeric_limits<std::int32_t>::max()) {
        return Variant(static_cast<std::int32_t>(n));
      }
      return Variant(static_cast<double>(n));
    }
    case kFloat4:
    case kFloat8:
    case kNumeric:
      // strtod also reads "NaN" and "Infinity", which the server writes for those values.
      return Variant(std::strtod(text, nullptr));
    case kBool:
      return Variant(view == "t");
    case kTimestamp:
      date_time = true;
      break;
    default:
      break;
  }
  if (date_time) {
    if (auto parsed = automation::parse_date_time(view)) return Variant(*parsed);
  }
  return Variant(view);
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
  PGresult* result = PQexec(conn_, sql.c_str());
  ExecStatusType status = PQresultStatus(result);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) fail_result(result);
  PQclear(result);
}

void PgDb::prepare(const std::string& name, std::string_view sql) {
  park();
  PGresult* result = PQprepare(conn_, name.c_str(), std::string(sql).c_str(), 0, nullptr);
  if (PQresultStatus(result) != PGRES_COMMAND_OK) fail_result(result);
  PQclear(result);
}

void PgDb::each_row(const std::string& name, const std::vector<const char*>& params,
                    const std::function<void(const PgRow&)>& row) {
  park();
  if (!PQsendQueryPrepared(conn_, name.c_str(), static_cast<int>(params.size()), params.data(),
                           nullptr, nullptr, 0)) {
    fail_result(nullptr);
  }
  PQsetSingleRowMode(conn_);
  // Every result is taken, also after a failure, so that the connection is ready for the next.
  PGresult* failed = nullptr;
  std::exception_ptr thrown;
  while (PGresult* result = PQgetResult(conn_)) {
    ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_SINGLE_TUPLE && !failed && !thrown) {
      try {
        row(PgRow(result));
      } catch (...) {
        thrown = std::current_exception();
      }
    } else if (status != PGRES_SINGLE_TUPLE && status != PGRES_TUPLES_OK && !failed) {
      failed = result;
      continue;
    }
    PQclear(result);
  }
  if (failed) fail_result(failed);
  if (thrown) std::rethrow_exception(thrown);
}

PgResult PgDb::pipeline(const std::vector<PgCall>& calls, std::size_t now) {
  park();
  if (!PQenterPipelineMode(conn_)) fail_result(nullptr);
  for (const PgCall& call : calls) {
    if (!PQsendQueryPrepared(conn_, call.name.c_str(), static_cast<int>(call.params.size()),
                             call.params.data(), nullptr, nullptr, 0)) {
      fail_result(nullptr);
    }
  }
  if (!PQpipelineSync(conn_)) fail_result(nullptr);
  ++sent_;
  now = std::min(now, calls.size());
  return receive(now, calls.size() - now);
}

std::optional<PgResult> PgDb::take(std::uint64_t id) {
  if (id != 0 && id == pending()) return receive(pending_, 0);
  auto parked = parked_.find(id);
  if (parked == parked_.end()) return std::nullopt;
  PgResult result = std::move(parked->second);
  parked_.erase(parked);
  return result;
}

void PgDb::park() {
  if (pending_) {
    const std::uint64_t id = sent_;
    parked_[id] = receive(pending_, 0);
  }
}

PgResult PgDb::receive(std::size_t count, std::size_t rest) {
  // Every result is taken, also after a failure, so that the connection is ready for the next
  // statement: each call's result and the empty one that ends it, then the sync's. After a
  // failure the server aborts the calls left, which are taken too.
  PGresult* last = nullptr;
  PGresult* failed = nullptr;
  bool lost = false;
  for (std::size_t i = 0; !lost && (i < count || (failed && i < count + rest)); ++i) {
    PGresult* result = PQgetResult(conn_);
    lost = result == nullptr;
    ExecStatusType status = PQresultStatus(result);
    if (!lost && status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && !failed) {
      failed = result;
    } else if (!lost && i + 1 == count && !failed) {
      last = result;
    } else {
      PQclear(result);
    }
    while (PGresult* extra = PQgetResult(conn_)) PQclear(extra);
  }
  pending_ = failed || lost ? 0 : rest;
  if (pending_ == 0) {
    while (!lost && PQstatus(conn_) == CONNECTION_OK) {
      PGresult* result = PQgetResult(conn_);
      bool synced = PQresultStatus(result) == PGRES_PIPELINE_SYNC;
      lost = result == nullptr;
      PQclear(result);
      if (synced) break;
    }
    if (!PQexitPipelineMode(conn_)) lost = true;
  }
  if (lost) {
    // libpq may still call the connection good here, with the server long gone.
    const char* primary = failed ? PQresultErrorField(failed, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    std::string message = primary  ? primary
                          : failed ? PQresultErrorMessage(failed)
                                   : PQerrorMessage(conn_);
    PQclear(failed);
    PQclear(last);
    fail("lost its connection to the server", std::move(message));
  }
  if (failed) {
    PQclear(last);
    fail_result(failed);
  }
  return PgResult(last);
}

void PgDb::copy_in(
    const std::string& sql,
    const std::function<void(const std::function<void(std::string_view)>& put)>& fill) {
  park();
  PGresult* result = PQexec(conn_, sql.c_str());
  if (PQresultStatus(result) != PGRES_COPY_IN) fail_result(result);
  PQclear(result);
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
  PGresult* failed = nullptr;
  while (PGresult* r = PQgetResult(conn_)) {
    if (PQresultStatus(r) != PGRES_COMMAND_OK && !failed)
      failed = r;
    else
      PQclear(r);
  }
  if (thrown) {
    PQclear(failed);
    std::rethrow_exception(thrown);
  }
  if (failed || !ok) fail_result(failed);
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

void PgDb::fail_result(const pg_result* result) const {
  // The server's primary message alone: without "ERROR:" and the echo of the statement.
  const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  std::string message = primary ? primary : PQerrorMessage(conn_);
  const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  const std::string sqlstate = state ? state : "";
  PQclear(const_cast<pg_result*>(result));
  std::string_view reason = "failed";
  if (PQstatus(conn_) != CONNECTION_OK || sqlstate.starts_with("08") ||
      sqlstate.starts_with("57P")) {
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
