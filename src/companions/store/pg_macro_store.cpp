// Reading the macro store from PostgreSQL. A step's progress and parameters come from one cursor
// over all the steps of the macro last read, in the order of its steps: a round trip for a
// macro where a query a step took one each, with no more than a batch of rows held beside the
// result, so a step with a million progress messages is never held twice. Rows of anything else
// are streamed from the server one at a time straight into the result's cells.
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

// Rows of the listed steps read through one cursor, ordered by the step's place in the list
// (the cursor's first column, counted from 1), handed out a step at a time as long as the steps
// are asked for in that order; a step asked for again or out of order is not served.
class StepRows {
 public:
  // `select` reads the rows of the steps in the text array $1 with their place in it first.
  StepRows(Session& session, std::string_view what, std::string_view select, int batch)
      : session_(session), batch_(std::max(batch, 1)) {
    const std::string cursor = fmt::format("{}_{}", what, ++session.cursors);
    declare_ = "declare_" + cursor;
    fetch_ = "fetch_" + cursor;
    close_ = "close_" + cursor;
    for (const auto& [name, sql] :
         {std::pair{declare_, fmt::format("DECLARE {} NO SCROLL CURSOR FOR {}", cursor, select)},
          std::pair{fetch_, fmt::format("FETCH {} FROM {}", batch_, cursor)},
          std::pair{close_, fmt::format("CLOSE {}", cursor)}}) {
      session.db.prepare(name, sql);
    }
  }

  // Starts over on a new list (its steps as a text array).
  void list(const std::string* steps) {
    steps_ = steps;
    declared_ = false;
    next_ = 0;
    rows_ = PgResult();
  }

  // The rows of the step at `place` in the list, nullopt when that place has been passed.
  template <std::size_t N>
  std::optional<Variant> read(std::int32_t place, const std::array<StoreColumn, N>& columns) {
    if (place < next_ || !steps_) return std::nullopt;
    if (!declared_) {
      std::vector<PgCall> calls;
      // The list's last cursor closes in the same round trip, before the new one opens.
      if (open_) calls.push_back({close_, {}});
      calls.push_back({declare_, {steps_->c_str()}});
      calls.push_back({fetch_, {}});
      rows_ = session_.db.pipeline(calls);
      open_ = declared_ = true;
      row_ = 0;
    }
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
      rows_ = session_.db.pipeline({{fetch_, {}}});
      row_ = 0;
    }
    next_ = place + 1;
    if (cells.empty()) return Variant();
    return Variant(Array::table(static_cast<std::int32_t>(N), std::move(cells)));
  }

 private:
  Session& session_;
  int batch_;  // rows a fetch brings
  std::string declare_, fetch_, close_;
  const std::string* steps_ = nullptr;
  bool open_ = false, declared_ = false;
  std::int32_t next_ = 0;  // the first place not yet passed
  PgResult rows_;          // the last batch
  int row_ = 0;            // its first row not yet handed out
};

class PgMacroStore : public MacroStoreDriver {
 public:
  PgMacroStore(const ConnectionText& connection, const StoreOptions& options, const Where& where)
      : session_(session_for(connection, where)), batch_(options.server_batch_rows) {}

  Variant read_macros(const std::string& container) override {
    return table(macros_, {container.c_str()}, kMacroColumns);
  }

  Variant read_macro(const std::string& container, const Variant& guid) override {
    std::optional<std::string> g = text(guid);
    return table(macro_, {container.c_str(), g ? g->c_str() : nullptr}, kMacroColumns);
  }

  Variant read_steps(const std::string& container, const Variant& macro_guid) override {
    std::optional<std::string> g = text(macro_guid);
    Variant steps = table(steps_, {g ? g->c_str() : nullptr, container.c_str()}, kStepColumns);
    list_steps(steps);
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

  // Lists the steps just read, each GUID once, for the progress and parameters to come.
  void list_steps(const Variant& steps) {
    places_.clear();
    std::string array = "{";
    for (std::int32_t r = 0; steps.is_array() && r <= steps.as_array().bounds(2).upper; ++r) {
      const Variant& guid = steps.as_array().at(contracts::column_index(StepColumn::Guid), r);
      if (guid.is_null()) continue;
      std::string g = automation::to_text(guid);
      if (!places_.emplace(g, static_cast<std::int32_t>(places_.size())).second) continue;
      if (array.size() > 1) array += ',';
      array += '"';
      for (char c : g) {
        if (c == '"' || c == '\\') array += '\\';
        array += c;
      }
      array += '"';
    }
    steps_array_ = array + "}";
    const std::string* listed = places_.empty() ? nullptr : &steps_array_;
    if (progress_rows_) progress_rows_->list(listed);
    if (parameter_rows_) parameter_rows_->list(listed);
    listed_ = listed;
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
    return rows->read(place->second, columns);
  }

  std::shared_ptr<Session> session_;
  int batch_;
  // The steps last read: each GUID's place, and all of them as a text array.
  std::unordered_map<std::string, std::int32_t> places_;
  std::string steps_array_;
  const std::string* listed_ = nullptr;
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
                                    "ORDER BY position",
                                    select_list(kStepColumns))};
  Query progress_{
      "progress",
      fmt::format("SELECT {} FROM macro_step_progress WHERE step_guid = $1 ORDER BY seq",
                  select_list(kProgressColumns))};
  const std::string listed_progress_ = fmt::format(
      "SELECT l.place, {} FROM unnest($1::text[]) WITH ORDINALITY AS l(step_guid, place) "
      "JOIN macro_step_progress p ON p.step_guid = l.step_guid ORDER BY l.place, p.seq",
      select_list(kProgressColumns, "p."));
  // ctid: the order the rows were stored in, as SQLite's rowid gives it.
  Query parameters_{"parameters", fmt::format("SELECT {} FROM macro_step_parameter WHERE "
                                              "step_guid = $1 ORDER BY ctid",
                                              select_list(kParameterColumns))};
  const std::string listed_parameters_ = fmt::format(
      "SELECT l.place, {} FROM unnest($1::text[]) WITH ORDINALITY AS l(step_guid, place) "
      "JOIN macro_step_parameter p ON p.step_guid = l.step_guid ORDER BY l.place, p.ctid",
      select_list(kParameterColumns, "p."));
};

}  // namespace

std::unique_ptr<MacroStoreDriver> open_pg_macro_store(const ConnectionText& connection,
                                                      const StoreOptions& options,
                                                      const Where& where) {
  return std::make_unique<PgMacroStore>(connection, options, where);
}

}  // namespace tarvex::companions::store
