// Reading the macro store from SQLite. Every query is served by an index of the store when the
// store has it (tarvex store create makes them) and still answers, more slowly, when it does not.
#include "companions/store/sqlite_macro_store.h"

#include <fmt/format.h>
#include <array>
#include <vector>

#include "companions/store/sqlite_db.h"
#include "companions/store/store_queries.h"
#include "contracts/macro_store_columns.h"

namespace tarvex::companions::store {

namespace {

using automation::Array;
using automation::Variant;
using contracts::StoreColumn;

class SqliteMacroStore : public MacroStoreDriver {
 public:
  SqliteMacroStore(const std::string& path, const StoreOptions& options, const Where& where)
      : db_(path, SqliteDb::Mode::ReadOnly, fmt::format("The macro store '{}'", path),
            StoreError::StoreUnavailable, where, options.busy_timeout_ms) {
    // Every statement now: a file that is no database, is locked by a writer or lacks a table
    // or a column fails here, before anything is read, naming what is wrong.
    for (StoreRead read : kStoreReads)
      statement(read) = db_.prepare(store_query(read, Dialect::SQLite));
  }

  Variant read_macros(const std::string& container) override {
    Statement& s = statement(StoreRead::Macros);
    StatementRun run(s);
    s.bind(1, std::string_view(container));
    return table(s, contracts::kMacroColumns);
  }

  Variant read_macro(const std::string& container, const Variant& guid) override {
    Statement& s = statement(StoreRead::Macro);
    StatementRun run(s);
    s.bind(1, std::string_view(container));
    s.bind(2, guid);
    return table(s, contracts::kMacroColumns);
  }

  Variant read_steps(const std::string& container, const Variant& macro_guid) override {
    Statement& s = statement(StoreRead::Steps);
    StatementRun run(s);
    s.bind(1, macro_guid);
    s.bind(2, std::string_view(container));
    return table(s, contracts::kStepColumns);
  }

  Variant read_progress(const Variant& step_guid) override {
    return step_rows(StoreRead::Progress, step_guid, contracts::kProgressColumns);
  }

  Variant read_parameters(const Variant& step_guid) override {
    return step_rows(StoreRead::Parameters, step_guid, contracts::kParameterColumns);
  }

 private:
  Statement& statement(StoreRead read) { return statements_[static_cast<std::size_t>(read)]; }

  template <std::size_t N>
  Variant step_rows(StoreRead read, const Variant& step_guid,
                    const std::array<StoreColumn, N>& columns) {
    Statement& s = statement(read);
    StatementRun run(s);
    s.bind(1, step_guid);
    return table(s, columns);
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
  std::array<Statement, kStoreReads.size()> statements_;
};

}  // namespace

std::unique_ptr<MacroStoreDriver> open_sqlite_macro_store(const std::string& path,
                                                          const StoreOptions& options,
                                                          const Where& where) {
  return std::make_unique<SqliteMacroStore>(path, options, where);
}

}  // namespace tarvex::companions::store
