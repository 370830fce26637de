// Reading the macro store from PostgreSQL. A step's progress and parameters come from one cursor
// over all the steps of the macro last read, in the order of its steps: a round trip for a
// macro where a query a step took one each, with no more than a batch of rows held beside the
// result, so a step with a million progress messages is never held twice. The next macro's
// first batch is asked for at the same time, so that the server reads it while this macro's
// report is built. A macro's own rows come from the container's list when it was read, in the
// same snapshot. Rows of anything else are streamed from the server one at a time straight into
// the result's cells. Every read runs in a savepoint of the report's one transaction (see PgDb),
// so that a read the server refuses fails its own item only.
#include "companions/store/pg_macro_store.h"

#include <fmt/format.h>
#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "automation/convert.h"
#include "automation/registry.h"
#include "companions/store/pg_db.h"
#include "companions/store/store_queries.h"
#include "contracts/macro_store_columns.h"

namespace tarvex::companions::store {

namespace {

using automation::Array;
using automation::Variant;

using contracts::kMacroColumns;
using contracts::kParameterColumns;
using contracts::kProgressColumns;
using contracts::kStepColumns;
using contracts::StepColumn;
using contracts::StoreColumn;

// One connection and its transaction. The drivers that one thread opens on the same connection
// text while another is open share it (the report's helper and its exporter), so that all a
// report reads, the exported steps too, comes from one snapshot; it ends with the last of them.
struct Session {
  Session(const ConnectionText& connection, const Where& where)
      : db(connection, "The macro store", StoreError::StoreUnavailable, where) {
    // The snapshot is taken by the first read and holds until the connection closes.
    db.exec("BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY");
    check_tables();
  }

  // Prepares every read and runs each once with NULL parameters, which finds no rows: a table
  // that is missing, lacks a column or that the login may not read fails the opening, before
  // anything is read, with the server's message naming it.
  void check_tables() {
    std::vector<PgCall> calls;
    for (StoreRead read : kStoreReads)
      calls.push_back({read_name(read), {}, store_query(read, Dialect::PostgreSQL)});
    for (StoreRead read : kStoreReads)
      calls.push_back({read_name(read), std::vector<const char*>(read_parameters(read), nullptr)});
    PgResult checked = db.pipeline(calls);
    if (!checked.ok()) db.fail(checked);
  }

  PgDb db;
  int cursors = 0;  // cursors named so far, so that each driver's have names of their own
};

// The sessions this thread has open, by connection: a connection is used by one thread only.
struct OpenSessions {
  std::map<std::string, std::weak_ptr<Session>> by_connection;
};

std::shared_ptr<Session> session_for(const ConnectionText& connection, const Where& where) {
  auto& open = automation::per_thread<OpenSessions>().by_connection;
  std::string key;
  for (const ConnectionProperty& p : connection.properties()) {
    key.append(p.key).append("=").append(p.value).push_back('\0');
  }
  std::erase_if(open, [](const auto& entry) { return entry.second.expired(); });
  if (auto session = open[key].lock()) return session;
  auto session = std::make_shared<Session>(connection, where);
  open[key] = session;
  return session;
}

// A macro whose steps were read: its GUID and container.
struct Listed {
  std::string macro;
  std::string container;
  bool operator==(const Listed&) const = default;
};

// Rows of a macro's steps (progress or parameters) through a cursor ordered by the step's place
// (the cursor's first column: the row of the steps' read where the step first appears, counted
// from 1), handed out a step at a time as long as the steps are asked for in that order; a step
// asked for again or out of order is not served, nor is any step of a macro whose cursor the
// server refused (a row a view cannot compute, a statement timeout): those are read one by one,
// so that only the step whose own rows fail fails. With the first rows of a macro, the rows of
// the macro that comes next are asked for in the same round trip and left on their way: the
// server reads them while the caller works on this one.
class StepRows {
 public:
  StepRows(Session& session, StoreRead what, int batch)
      : session_(session), batch_(std::max(batch, 1)) {
    std::vector<PgCall> statements;
    for (Cursor& cursor : cursors_) {
      const std::string name = fmt::format("{}_{}", read_name(what), ++session.cursors);
      cursor.declare = "declare_" + name;
      cursor.fetch = "fetch_" + name;
      cursor.close = "close_" + name;
      statements.push_back(
          {cursor.declare,
           {},
           fmt::format("DECLARE {} NO SCROLL CURSOR FOR {}", name, steps_rows_query(what))});
      statements.push_back({cursor.fetch, {}, fmt::format("FETCH {} FROM {}", batch_, name)});
      statements.push_back({cursor.close, {}, fmt::format("CLOSE {}", name)});
    }
    PgResult prepared = session.db.pipeline(statements);
    if (!prepared.ok()) session.db.fail(prepared);
  }

  // Starts over on the steps of another macro, none when nullopt.
  void list(std::optional<Listed> listed) {
    listed_ = std::move(listed);
    declared_ = false;
    refused_ = false;
    next_ = 0;
    rows_ = PgResult();
  }

  // The rows of the step at `place`, nullopt when they are not served. `next` is the macro
  // whose steps are likely read after these.
  template <std::size_t N>
  std::optional<Variant> read(std::int32_t place, const std::array<StoreColumn, N>& columns,
                              const std::optional<std::string>& next) {
    if (place < next_ || !listed_ || refused_) return std::nullopt;
    if (!declared_ && !start(next)) return std::nullopt;
    std::vector<Variant> cells;
    for (;;) {
      for (; row_ < rows_.rows(); ++row_) {
        PgRow row = rows_.row(row_);
        std::int32_t at = row.value(0).as_long() - 1;
        if (at > place) break;
        if (at < place) continue;
        for (std::size_t c = 0; c < N; ++c)
          cells.push_back(row.value(static_cast<int>(c) + 1, columns[c].date_time));
      }
      if (row_ < rows_.rows() || rows_.rows() < batch_) break;
      rows_ = PgResult();  // freed before the next batch arrives
      // A refused batch leaves the cursor open but unusable: closed before it is declared again.
      if (!take(session_.db.pipeline({{cursors_[current_].fetch, {}}}))) return std::nullopt;
    }
    next_ = place + 1;
    if (cells.empty()) return Variant();
    return Variant(Array::table(static_cast<std::int32_t>(N), std::move(cells)));
  }

 private:
  struct Cursor {
    std::string declare, fetch, close;
    bool open = false;  // declared, and to be closed before it is declared again
  };
  // Rows asked for ahead: the macro's, on which cursor, and the pipeline that carries them.
  struct Ahead {
    Listed listed;
    int cursor;
    std::uint64_t pipeline;
  };

  // Takes the next batch of the listed macro's rows; false when the server refused it, and then
  // the macro's steps are read one by one.
  bool take(PgResult batch) {
    refused_ = !batch.ok();
    rows_ = refused_ ? PgResult() : std::move(batch);
    row_ = 0;
    return !refused_;
  }

  // The calls that declare cursor `c` on `listed`'s steps and fetch its first batch.
  std::vector<PgCall> opening(int c, const Listed& listed) const {
    std::vector<PgCall> calls;
    if (cursors_[c].open) calls.push_back({cursors_[c].close, {}});
    calls.push_back({cursors_[c].declare, {listed.macro.c_str(), listed.container.c_str()}});
    calls.push_back({cursors_[c].fetch, {}});
    return calls;
  }

  // Opens the listed macro's cursor with its first batch, or takes the batch asked for ahead,
  // and asks ahead for `next`'s. False when the server refused the listed macro's rows.
  bool start(const std::optional<std::string>& next) {
    PgDb& db = session_.db;
    declared_ = true;
    std::optional<PgResult> first;
    if (ahead_) {
      // Taken whether wanted or not, so that no batch lingers. A refused opening was rolled
      // back, its cursor with it; an opening that never ran (the read before it was refused)
      // is not there to take and left the cursor as it was.
      std::optional<PgResult> taken = db.take(ahead_->pipeline);
      if (taken) cursors_[ahead_->cursor].open = taken->ok();
      if (taken && ahead_->listed == *listed_) {
        current_ = ahead_->cursor;
        first = std::move(taken);
      }
      ahead_.reset();
    }
    std::vector<PgCall> now, ahead;
    if (!first) now = opening(current_, *listed_);
    std::optional<Listed> following;
    if (next) following = Listed{*next, listed_->container};
    if (following) ahead = opening(1 - current_, *following);
    if (!now.empty() || !ahead.empty()) {
      PgResult result = db.pipeline(now, ahead);
      if (!first) {
        cursors_[current_].open = result.ok();
        first = std::move(result);
      }
    }
    if (following && db.pending()) ahead_ = Ahead{*following, 1 - current_, db.pending()};
    return take(std::move(*first));
  }

  Session& session_;
  int batch_;  // rows a fetch brings
  Cursor cursors_[2];
  int current_ = 0;  // the listed macro's cursor
  std::optional<Ahead> ahead_;
  std::optional<Listed> listed_;
  bool declared_ = false;
  bool refused_ = false;   // the listed macro's rows are read step by step
  std::int32_t next_ = 0;  // the first place not yet passed
  PgResult rows_;          // the last batch
  int row_ = 0;            // its first row not yet handed out
};

class PgMacroStore : public MacroStoreDriver {
 public:
  PgMacroStore(const ConnectionText& connection, const StoreOptions& options, const Where& where)
      : session_(session_for(connection, where)), batch_(options.server_batch_rows) {}

  Variant read_macros(const std::string& container) override {
    Variant macros = table(StoreRead::Macros, {container.c_str()}, kMacroColumns);
    macros_ = macros;
    macros_container_ = container;
    order_.list(macros);
    return macros;
  }

  // A macro of the container whose list was read comes from that list: the same snapshot gives
  // the same rows, and a report asks for every macro of its list.
  Variant read_macro(const std::string& container, const Variant& guid) override {
    std::optional<std::string> g = text(guid);
    if (macros_container_ != container)
      return table(StoreRead::Macro, {container.c_str(), g ? g->c_str() : nullptr}, kMacroColumns);
    const std::vector<std::int32_t>* rows = g ? order_.rows_of(*g) : nullptr;
    if (!rows) return {};
    std::vector<Variant> cells;
    for (std::int32_t r : *rows) {
      for (std::size_t c = 0; c < kMacroColumns.size(); ++c)
        cells.push_back(macros_.as_array().at(static_cast<std::int32_t>(c), r));
    }
    return Variant(Array::table(static_cast<std::int32_t>(kMacroColumns.size()), std::move(cells)));
  }

  Variant read_steps(const std::string& container, const Variant& macro_guid) override {
    std::optional<std::string> g = text(macro_guid);
    Variant steps =
        table(StoreRead::Steps, {g ? g->c_str() : nullptr, container.c_str()}, kStepColumns);
    list_steps(steps, g, container);
    return steps;
  }

  Variant read_progress(const Variant& step_guid) override {
    return step_rows(progress_rows_, StoreRead::Progress, step_guid, kProgressColumns);
  }

  Variant read_parameters(const Variant& step_guid) override {
    return step_rows(parameter_rows_, StoreRead::Parameters, step_guid, kParameterColumns);
  }

 private:
  static std::optional<std::string> text(const Variant& value) {
    if (value.is_null()) return std::nullopt;
    return automation::to_text(value);
  }

  template <std::size_t N>
  Variant table(StoreRead read, const std::vector<const char*>& params,
                const std::array<StoreColumn, N>& columns) {
    std::vector<Variant> cells;
    session_->db.each_row(read_name(read), params, [&](const PgRow& row) {
      for (std::size_t c = 0; c < N; ++c)
        cells.push_back(row.value(static_cast<int>(c), columns[c].date_time));
    });
    if (cells.empty()) return {};
    return Variant(Array::table(static_cast<std::int32_t>(N), std::move(cells)));
  }

  // Lists the steps just read, for the progress and parameters to come: each GUID's place is
  // the first row it is on.
  void list_steps(const Variant& steps, const std::optional<std::string>& macro,
                  const std::string& container) {
    places_.clear();
    for (std::int32_t r = 0; steps.is_array() && r <= steps.as_array().bounds(2).upper; ++r) {
      const Variant& guid = steps.as_array().at(contracts::column_index(StepColumn::Guid), r);
      if (!guid.is_null()) places_.emplace(automation::to_text(guid), r);
    }
    listed_.reset();
    if (!places_.empty() && macro) listed_ = Listed{*macro, container};
    if (progress_rows_) progress_rows_->list(listed_);
    if (parameter_rows_) parameter_rows_->list(listed_);
  }

  // The macro after the listed one in the order the container's macros were last read.
  std::optional<std::string> next_macro() const {
    if (!listed_) return std::nullopt;
    return order_.after(listed_->macro);
  }

  // The step's rows: from the listed macro's cursor (`rows`, made on first use) when it serves
  // them, else by a read of their own.
  template <std::size_t N>
  Variant step_rows(std::unique_ptr<StepRows>& rows, StoreRead what, const Variant& step_guid,
                    const std::array<StoreColumn, N>& columns) {
    std::optional<std::string> guid = text(step_guid);
    auto place = guid ? places_.find(*guid) : places_.end();
    if (place != places_.end()) {
      if (!rows) {
        rows = std::make_unique<StepRows>(*session_, what, batch_);
        rows->list(listed_);
      }
      if (auto listed = rows->read(place->second, columns, next_macro())) return std::move(*listed);
    }
    return table(what, {guid ? guid->c_str() : nullptr}, columns);
  }

  std::shared_ptr<Session> session_;
  int batch_;
  // The container's macros as last read, and their order.
  std::optional<std::string> macros_container_;
  Variant macros_;
  MacroOrder order_;
  // The steps last read: their macro, and each GUID's place.
  std::optional<Listed> listed_;
  std::unordered_map<std::string, std::int32_t> places_;
  std::unique_ptr<StepRows> progress_rows_, parameter_rows_;
};

}  // namespace

std::unique_ptr<MacroStoreDriver> open_pg_macro_store(const ConnectionText& connection,
                                                      const StoreOptions& options,
                                                      const Where& where) {
  return std::make_unique<PgMacroStore>(connection, options, where);
}

}  // namespace tarvex::companions::store
