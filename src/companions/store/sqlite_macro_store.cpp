// Reading the macro store from SQLite. Every query is served by an index of the store when the
// store has it (tarvex store create makes them) and still answers, more slowly, when it does not.
#include "companions/store/sqlite_macro_store.h"

#include <fmt/format.h>
#include <array>
#include <vector>

#include "companions/store/sqlite_db.h"
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

class SqliteMacroStore : public MacroStoreDriver {
 public:
  SqliteMacroStore(const std::string& path, const StoreOptions& options, const Where& where)
      : db_(path, SqliteDb::Mode::ReadOnly, fmt::format("The macro store '{}'", path),
            StoreError::StoreUnavailable, where, options.busy_timeout_ms) {
    // Reading the schema now finds a file that is no database, or one locked by a writer.
    Statement probe = db_.prepare("SELECT count(*) FROM sqlite_master");
    StatementRun run(probe);
    probe.step();
  }

  Variant read_macros(const std::string& container) override {
    Statement& s = prepared(macros_,
                            "SELECT {} FROM macro WHERE container = ?1 "
                            "ORDER BY name COLLATE BINARY, guid COLLATE BINARY",
                            kMacroColumns);
    StatementRun run(s);
    s.bind(1, std::string_view(container));
    return table(s, kMacroColumns);
  }

  Variant read_macro(const std::string& container, const Variant& guid) override {
    Statement& s =
        prepared(macro_, "SELECT {} FROM macro WHERE container = ?1 AND guid = ?2", kMacroColumns);
    StatementRun run(s);
    s.bind(1, std::string_view(container));
    s.bind(2, guid);
    return table(s, kMacroColumns);
  }

  Variant read_steps(const std::string& container, const Variant& macro_guid) override {
    // EXISTS rather than a join: a GUID that the container repeats must not repeat its steps.
    Statement& s = prepared(steps_,
                            "SELECT {} FROM macro_step WHERE macro_guid = ?1 "
                            "AND EXISTS (SELECT 1 FROM macro WHERE container = ?2 AND guid = ?1) "
                            "ORDER BY position",
                            kStepColumns);
    StatementRun run(s);
    s.bind(1, macro_guid);
    s.bind(2, std::string_view(container));
    return table(s, kStepColumns);
  }

  Variant read_progress(const Variant& step_guid) override {
    Statement& s =
        prepared(progress_, "SELECT {} FROM macro_step_progress WHERE step_guid = ?1 ORDER BY seq",
                 kProgressColumns);
    StatementRun run(s);
    s.bind(1, step_guid);
    return table(s, kProgressColumns);
  }

  Variant read_parameters(const Variant& step_guid) override {
    Statement& s = prepared(
        parameters_, "SELECT {} FROM macro_step_parameter WHERE step_guid = ?1 ORDER BY rowid",
        kParameterColumns);
    StatementRun run(s);
    s.bind(1, step_guid);
    return table(s, kParameterColumns);
  }

 private:
  // The statement in `slot`, prepared on first use from `sql` with "{}" standing for the
  // select list of `columns`.
  template <std::size_t N>
  Statement& prepared(Statement& slot, fmt::format_string<std::string> sql,
                      const std::array<StoreColumn, N>& columns) {
    if (!slot) slot = db_.prepare(fmt::format(sql, select_list(columns)));
    return slot;
  }

  // Runs `s` to the end and hands its rows out as a (column, row) table.
  template <std::size_t N>
  static Variant table(Statement& s, const std::array<StoreColumn, N>& columns) {
    std::vector<Variant> cells;
    while (s.step()) {
      for (std::size_t c = 0; c < N; ++c) {
        cells.push_back(s.column(static_cast<int>(c), columns[c].date_time));
      }
    }
    if (cells.empty()) return {};
    return Variant(Array::table(static_cast<std::int32_t>(N), std::move(cells)));
  }

  SqliteDb db_;
  Statement macros_, macro_, steps_, progress_, parameters_;
};

}  // namespace

std::unique_ptr<MacroStoreDriver> open_sqlite_macro_store(const std::string& path,
                                                          const StoreOptions& options,
                                                          const Where& where) {
  return std::make_unique<SqliteMacroStore>(path, options, where);
}

}  // namespace tarvex::companions::store
