// Reading the macro store from PostgreSQL. Rows are streamed from the server one at a time
// straight into the result's cells, so a step with a million progress messages is held once,
// as the result, and never a second time as the server's answer.
#include "companions/store/pg_macro_store.h"

#include <fmt/format.h>
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <set>
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

class PgMacroStore : public MacroStoreDriver {
 public:
  PgMacroStore(const ConnectionText& connection, const Where& where)
      : session_(session_for(connection, where)) {}

  Variant read_macros(const std::string& container) override {
    return table(macros_, {container.c_str()}, kMacroColumns);
  }

  Variant read_macro(const std::string& container, const Variant& guid) override {
    std::optional<std::string> g = text(guid);
    return table(macro_, {container.c_str(), g ? g->c_str() : nullptr}, kMacroColumns);
  }

  Variant read_steps(const std::string& container, const Variant& macro_guid) override {
    std::optional<std::string> g = text(macro_guid);
    return table(steps_, {g ? g->c_str() : nullptr, container.c_str()}, kStepColumns);
  }

  Variant read_progress(const Variant& step_guid) override {
    std::optional<std::string> g = text(step_guid);
    return table(progress_, {g ? g->c_str() : nullptr}, kProgressColumns);
  }

  Variant read_parameters(const Variant& step_guid) override {
    std::optional<std::string> g = text(step_guid);
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

  std::shared_ptr<Session> session_;
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
  // ctid: the order the rows were stored in, as SQLite's rowid gives it.
  Query parameters_{"parameters", fmt::format("SELECT {} FROM macro_step_parameter WHERE "
                                              "step_guid = $1 ORDER BY ctid",
                                              select_list(kParameterColumns))};
};

}  // namespace

std::unique_ptr<MacroStoreDriver> open_pg_macro_store(const ConnectionText& connection,
                                                      const Where& where) {
  return std::make_unique<PgMacroStore>(connection, where);
}

}  // namespace tarvex::companions::store
