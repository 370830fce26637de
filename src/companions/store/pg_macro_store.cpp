// Reading the macro store from PostgreSQL. A step's progress and parameters come from one cursor
// over all the steps of the macro last read, in the order of its steps: a round trip for a
// macro where a query a step took one each, with no more than a batch of rows held beside the
// result, so a step with a million progress messages is never held twice. The next macro's
// first batch is asked for at the same time, so that the server reads it while this macro's
// report is built. Rows of anything else are streamed from the server one at a time straight
// into the result's cells.
#include "companions/store/pg_macro_store.h"

#include <fmt/format.h>
#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "automation/convert.h"
#include "companions/store/pg_db.h"
#include "contracts/macro_store_columns.h"

namespace tarvex::companions::store {

namespace {

using automation::Array;
using automation::Variant;

using contracts::kMacroColumns;
using contracts::kParameterColumns;
using contracts::kProgressColumns;
using contracts::kStepColumns;
using contracts::select_list;
using contracts::StepColumn;
using contracts::StoreColumn;

// A statement's SQL, prepared on the session's connection on its first run.
struct Query {
  const char* name;
  std::string sql;
};

// One connection and its transaction. The drivers that one thread opens on the same connection
// text while another is open share it (the report's helper and its exporter), so that all a
// report reads, the exported steps too, comes from one snapshot; it ends with the last of them.
struct Session {
  Session(const ConnectionText& connection, const Where& where)
      : db(connection, "The macro store", StoreError::StoreUnavailable, where) {
    // The snapshot is taken by the first read and holds until the connection closes.
    db.exec("BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY");
  }
  PgDb db;
  std::set<std::string> prepared;
  int cursors = 0;  // cursors named so far, so that each driver's have names of their own
};

std::shared_ptr<Session> session_for(const ConnectionText& connection, const Where& where) {
  thread_local std::map<std::string, std::weak_ptr<Session>> open;
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
// asked for again or out of order is not served. With the first rows of a macro, the rows of
// the macro that comes next are asked for in the same round trip and left on their way: the
// server reads them while the caller works on this one.
class StepRows {
 public:
  // `select` reads the rows of the steps of macro $1 in container $2.
  StepRows(Session& session, std::string_view what, std::string_view select, int batch)
      : session_(session), batch_(std::max(batch, 1)) {
    for (Cursor& cursor : cursors_) {
      const std::string name = fmt::format("{}_{}", what, ++session.cursors);
      cursor.declare = "declare_" + name;
      cursor.fetch = "fetch_" + name;
      cursor.close = "close_" + name;
      for (const auto& [statement, sql] :
           {std::pair{cursor.declare,
                      fmt::format("DECLARE {} NO SCROLL CURSOR FOR {}", name, select)},
            std::pair{cursor.fetch, fmt::format("FETCH {} FROM {}", batch_, name)},
            std::pair{cursor.close, fmt::format("CLOSE {}", name)}}) {
        session.db.prepare(statement, sql);
      }
    }
  }

  // Starts over on the steps of another macro, none when nullopt.
  void list(std::optional<Listed> listed) {
    listed_ = std::move(listed);
    declared_ = false;
    next_ = 0;
    rows_ = PgResult();
  }

  // The rows of the step at `place`, nullopt when that place has been passed. `next` is the
  // macro whose steps are likely read after these.
  template <std::size_t N>
  std::optional<Variant> read(std::int32_t place, const std::array<StoreColumn, N>& columns,
                              const std::optional<std::string>& next) {
    if (place < next_ || !listed_) return std::nullopt;
    if (!declared_) start(next);
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
      rows_ = session_.db.pipeline({{cursors_[current_].fetch, {}}});
      row_ = 0;
    }
    next_ = place + 1;
    if (cells.empty()) return Variant();
    return Variant(Array::table(static_cast<std::int32_t>(N), std::move(cells)));
  }

 private:
  struct Cursor {
    std::string declare, fetch, close;
    bool open = false;
  };
  // Rows asked for ahead: the macro's, on which cursor, and the pipeline that carries them.
  struct Ahead {
    Listed listed;
    int cursor;
    std::uint64_t pipeline;
  };

  // Opens the listed macro's cursor with its first batch, or takes the batch asked for ahead,
  // and asks ahead for `next`'s.
  void start(const std::optional<std::string>& next) {
    PgDb& db = session_.db;
    std::optional<PgResult> ahead;
    if (ahead_ && ahead_->listed == *listed_) {
      ahead = db.take(ahead_->pipeline);
      if (ahead) current_ = ahead_->cursor;
    } else if (ahead_) {
      db.take(ahead_->pipeline);  // not wanted: dropped, so that no batch lingers
    }
    ahead_.reset();
    std::vector<PgCall> calls;
    auto open = [&](int c, const Listed& listed) {
      if (cursors_[c].open) calls.push_back({cursors_[c].close, {}});
      calls.push_back({cursors_[c].declare, {listed.macro.c_str(), listed.container.c_str()}});
      calls.push_back({cursors_[c].fetch, {}});
      cursors_[c].open = true;
    };
    if (!ahead) open(current_, *listed_);
    const std::size_t now = calls.size();
    std::optional<Listed> following;
    if (next) following = Listed{*next, listed_->container};
    if (following) open(1 - current_, *following);
    if (!calls.empty()) {
      PgResult first = db.pipeline(calls, now);
      if (!ahead) ahead = std::move(first);
    }
    if (following) ahead_ = Ahead{*following, 1 - current_, db.pending()};
    rows_ = std::move(*ahead);
    declared_ = true;
    row_ = 0;
  }

  Session& session_;
  int batch_;  // rows a fetch brings
  Cursor cursors_[2];
  int current_ = 0;  // the listed macro's cursor
  std::optional<Ahead> ahead_;
  std::optional<Listed> listed_;
  bool declared_ = false;
  std::int32_t next_ = 0;  // the first place not yet passed
  PgResult rows_;          // the last batch
  int row_ = 0;            // its first row not yet handed out
};

// The steps of macro $1 in container $2, each GUID once with its place: the row of the steps'
// read where it first appears, counted from 1.
constexpr std::string_view kPlaces =
    "SELECT guid, min(place) AS place FROM (SELECT guid, row_number() OVER (ORDER BY position, "
    "ctid) AS place FROM macro_step WHERE macro_guid = $1 AND EXISTS (SELECT 1 FROM macro WHERE "
    "container = $2 AND guid = $1)) AS s GROUP BY guid";

class PgMacroStore : public MacroStoreDriver {
 public:
  PgMacroStore(const ConnectionText& connection, const StoreOptions& options, const Where& where)
      : session_(session_for(connection, where)), batch_(options.server_batch_rows) {}

  Variant read_macros(const std::string& container) override {
    Variant macros = table(macros_, {container.c_str()}, kMacroColumns);
    order_.clear();
    ranks_.clear();
    for (std::int32_t r = 0; macros.is_array() && r <= macros.as_array().bounds(2).upper; ++r) {
      std::string g = automation::to_text(
          macros.as_array().at(contracts::column_index(contracts::MacroColumn::Guid), r));
      if (ranks_.emplace(g, order_.size()).second) order_.push_back(std::move(g));
    }
    return macros;
  }

  Variant read_macro(const std::string& container, const Variant& guid) override {
    std::optional<std::string> g = text(guid);
    return table(macro_, {container.c_str(), g ? g->c_str() : nullptr}, kMacroColumns);
  }

  Variant read_steps(const std::string& container, const Variant& macro_guid) override {
    std::optional<std::string> g = text(macro_guid);
    Variant steps = table(steps_, {g ? g->c_str() : nullptr, container.c_str()}, kStepColumns);
    list_steps(steps, g, container);
    return steps;
  }

  Variant read_progress(const Variant& step_guid) override {
    std::optional<std::string> g = text(step_guid);
    if (auto listed =
            listed_rows(progress_rows_, "progress", listed_progress_, g, kProgressColumns))
      return std::move(*listed);
    return table(progress_, {g ? g->c_str() : nullptr}, kProgressColumns);
  }

  Variant read_parameters(const Variant& step_guid) override {
    std::optional<std::string> g = text(step_guid);
    if (auto listed =
            listed_rows(parameter_rows_, "parameters", listed_parameters_, g, kParameterColumns))
      return std::move(*listed);
    return table(parameters_, {g ? g->c_str() : nullptr}, kParameterColumns);
  }

 private:
  static std::optional<std::string> text(const Variant& value) {
    if (value.is_null()) return std::nullopt;
    return automation::to_text(value);
  }

  template <std::size_t N>
  Variant table(Query& query, const std::vector<const char*>& params,
                const std::array<StoreColumn, N>& columns) {
    PgDb& db = session_->db;
    if (!session_->prepared.contains(query.name)) {
      db.prepare(query.name, query.sql);
      session_->prepared.insert(query.name);
    }
    std::vector<Variant> cells;
    db.each_row(query.name, params, [&](const PgRow& row) {
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
    auto rank = ranks_.find(listed_->macro);
    if (rank == ranks_.end() || rank->second + 1 >= order_.size()) return std::nullopt;
    return order_[rank->second + 1];
  }

  // The step's rows from `rows` (made on first use) when the step is listed and not passed.
  template <std::size_t N>
  std::optional<Variant> listed_rows(std::unique_ptr<StepRows>& rows, std::string_view what,
                                     std::string_view select,
                                     const std::optional<std::string>& guid,
                                     const std::array<StoreColumn, N>& columns) {
    auto place = guid ? places_.find(*guid) : places_.end();
    if (place == places_.end()) return std::nullopt;
    if (!rows) {
      rows = std::make_unique<StepRows>(*session_, what, select, batch_);
      rows->list(listed_);
    }
    return rows->read(place->second, columns, next_macro());
  }

  std::shared_ptr<Session> session_;
  int batch_;
  // The container's macros as last read, each GUID once, and each one's place among them.
  std::vector<std::string> order_;
  std::unordered_map<std::string, std::size_t> ranks_;
  // The steps last read: their macro, and each GUID's place.
  std::optional<Listed> listed_;
  std::unordered_map<std::string, std::int32_t> places_;
  std::unique_ptr<StepRows> progress_rows_, parameter_rows_;
  // Names in code-point order with NULL first, as the SQLite store sorts them.
  Query macros_{"macros", fmt::format("SELECT {} FROM macro WHERE container = $1 ORDER BY name "
                                      "COLLATE \"C\" NULLS FIRST, guid COLLATE \"C\"",
                                      select_list(kMacroColumns))};
  Query macro_{"macro", fmt::format("SELECT {} FROM macro WHERE container = $1 AND guid = $2",
                                    select_list(kMacroColumns))};
  // EXISTS rather than a join: a GUID that the container repeats must not repeat its steps.
  Query steps_{"steps", fmt::format("SELECT {} FROM macro_step WHERE macro_guid = $1 AND EXISTS "
                                    "(SELECT 1 FROM macro WHERE container = $2 AND guid = $1) "
                                    "ORDER BY position, ctid",
                                    select_list(kStepColumns))};
  Query progress_{
      "progress",
      fmt::format("SELECT {} FROM macro_step_progress WHERE step_guid = $1 ORDER BY seq",
                  select_list(kProgressColumns))};
  const std::string listed_progress_ = fmt::format(
      "SELECT l.place, {} FROM ({}) AS l JOIN macro_step_progress p ON p.step_guid = l.guid "
      "ORDER BY l.place, p.seq",
      select_list(kProgressColumns, "p."), kPlaces);
  // ctid: the order the rows were stored in, as SQLite's rowid gives it.
  Query parameters_{"parameters", fmt::format("SELECT {} FROM macro_step_parameter WHERE "
                                              "step_guid = $1 ORDER BY ctid",
                                              select_list(kParameterColumns))};
  const std::string listed_parameters_ = fmt::format(
      "SELECT l.place, {} FROM ({}) AS l JOIN macro_step_parameter p ON p.step_guid = l.guid "
      "ORDER BY l.place, p.ctid",
      select_list(kParameterColumns, "p."), kPlaces);
};

}  // namespace

std::unique_ptr<MacroStoreDriver> open_pg_macro_store(const ConnectionText& connection,
                                                      const StoreOptions& options,
                                                      const Where& where) {
  return std::make_unique<PgMacroStore>(connection, options, where);
}

}  // namespace tarvex::companions::store
