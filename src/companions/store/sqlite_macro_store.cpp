// Reading the macro store from SQLite. Every query is served by an index of the store when the
// store has it (tarvex store create makes them) and still answers, more slowly, when it does not.
#include "companions/store/sqlite_macro_store.h"

#include <sqlite3.h>
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "automation/convert.h"
#include "automation/error.h"
#include "companions/store/read_ahead.h"
#include "companions/store/sqlite_db.h"
#include "companions/store/store_queries.h"
#include "contracts/macro_store_columns.h"

namespace tarvex::companions::store {

namespace {

using automation::Array;
using automation::Variant;
using contracts::StepColumn;
using contracts::StoreColumn;

// Rows read ahead and not yet taken wait at about this many cells (a few MiB): enough for many
// steps of a usual macro, and a step of a million rows is still read only one step ahead.
constexpr std::size_t kReadAheadCells = std::size_t{1} << 17;

class SqliteMacroStore : public MacroStoreDriver {
 public:
  SqliteMacroStore(const std::string& path, const StoreOptions& options, const Where& where)
      : path_(path),
        options_(options),
        module_(where.module),
        procedure_(where.procedure),
        db_(path, SqliteDb::Mode::ReadOnly, label(path), StoreError::StoreUnavailable, where,
            options.busy_timeout_ms) {
    // Every statement now: a file that is no database, is locked by a writer or lacks a table
    // or a column fails here, before anything is read, naming what is wrong.
    for (StoreRead read : kStoreReads)
      statement(read) = db_.prepare(store_query(read, Dialect::SQLite));
  }

  Variant read_macros(const std::string& container) override {
    Variant macros;
    {
      Statement& s = statement(StoreRead::Macros);
      StatementRun run(s);
      s.bind(1, std::string_view(container));
      macros = table(s, contracts::kMacroColumns);
    }
    order_.list(macros);
    order_container_ = container;
    return macros;
  }

  Variant read_macro(const std::string& container, const Variant& guid) override {
    Statement& s = statement(StoreRead::Macro);
    StatementRun run(s);
    s.bind(1, std::string_view(container));
    s.bind(2, guid);
    return table(s, contracts::kMacroColumns);
  }

  Variant read_steps(const std::string& container, const Variant& macro_guid) override {
    Variant steps = steps_of(container, macro_guid);
    listed_ = guids_of(steps);
    listed_macro_.reset();
    if (!macro_guid.is_null()) listed_macro_ = automation::to_text(macro_guid);
    listed_container_ = container;
    if (read_ahead_) read_ahead_->plan(ahead_from(listed_.begin()));
    return steps;
  }

  Variant read_progress(const Variant& step_guid) override {
    if (!step_guid.is_null()) {
      const std::string key = automation::to_text(step_guid);
      if (read_ahead_) {
        if (auto rows = read_ahead_->take(key)) return std::move(*rows);
      } else if (options_.read_ahead) {
        // The caller reads the progress of the steps it listed: from now on, read ahead.
        auto listed = std::find(listed_.begin(), listed_.end(), key);
        if (listed != listed_.end()) {
          start_read_ahead();
          if (read_ahead_) read_ahead_->plan(ahead_from(std::next(listed)));
        }
      }
    }
    return step_rows(statement(StoreRead::Progress), step_guid, StoreRead::Progress);
  }

  // An export's parameters are not read ahead: its time goes to writing files, and reading them
  // ahead did not shorten it.
  Variant read_parameters(const Variant& step_guid) override {
    return step_rows(statement(StoreRead::Parameters), step_guid, StoreRead::Parameters);
  }

 private:
  static std::string label(const std::string& path) {
    return fmt::format("The macro store '{}'", path);
  }

  Statement& statement(StoreRead read) { return statements_[static_cast<std::size_t>(read)]; }

  Variant steps_of(const std::string& container, const Variant& macro_guid) {
    Statement& s = statement(StoreRead::Steps);
    StatementRun run(s);
    s.bind(1, macro_guid);
    s.bind(2, std::string_view(container));
    return table(s, contracts::kStepColumns);
  }

  static std::vector<std::string> guids_of(const Variant& steps) {
    std::vector<std::string> guids;
    if (!steps.is_array()) return guids;
    const Array& rows = steps.as_array();
    const auto guid = contracts::column_index(StepColumn::Guid);
    for (std::int32_t r = 0; r <= rows.bounds(2).upper; ++r) {
      const Variant& cell = rows.at(guid, r);
      if (!cell.is_null()) guids.push_back(automation::to_text(cell));
    }
    return guids;
  }

  // The listed steps from `from` on, then the steps of the macro listed after theirs: a report
  // reads its macros in their list's order, and without them each macro's first step would wait
  // for its own read.
  std::vector<std::string> ahead_from(std::vector<std::string>::const_iterator from) {
    std::vector<std::string> keys(from, listed_.cend());
    if (!listed_macro_ || order_container_ != listed_container_) return keys;
    std::optional<std::string> next = order_.after(*listed_macro_);
    if (!next) return keys;
    try {
      for (std::string& guid : guids_of(steps_of(listed_container_, Variant(*next))))
        keys.push_back(std::move(guid));
    } catch (const automation::Error&) {
      // That macro's own listing will meet the failure and report it there.
    }
    return keys;
  }

  // The read-ahead's own connection, used by its thread only. Without it (the file cannot be
  // opened a second time) every read is made here, as before.
  void start_read_ahead() {
    struct Reader {
      Reader(const std::string& path, const StoreOptions& options, const Where& where)
          : db(path, SqliteDb::Mode::ReadOnly, label(path), StoreError::StoreUnavailable, where,
               options.busy_timeout_ms),
            progress(db.prepare(store_query(StoreRead::Progress, Dialect::SQLite))) {}
      SqliteDb db;
      Statement progress;
    };
    std::shared_ptr<Reader> reader;
    try {
      reader = std::make_shared<Reader>(path_, options_, Where{module_, procedure_});
    } catch (...) {
      options_.read_ahead = false;
      return;
    }
    read_ahead_ = std::make_unique<ReadAhead>(
        [reader](const std::string& key) {
          return step_rows(reader->progress, Variant(key), StoreRead::Progress);
        },
        [reader] { sqlite3_interrupt(reader->db.handle()); }, kReadAheadCells);
  }

  // A step's progress or parameters, read on `s`.
  static Variant step_rows(Statement& s, const Variant& step_guid, StoreRead read) {
    StatementRun run(s);
    s.bind(1, step_guid);
    return read == StoreRead::Progress ? table(s, contracts::kProgressColumns)
                                       : table(s, contracts::kParameterColumns);
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

  std::string path_;
  StoreOptions options_;
  std::string module_;  // where the store was opened, for the read-ahead's connection
  std::string procedure_;
  SqliteDb db_;
  std::array<Statement, kStoreReads.size()> statements_;
  // The container's macros as last listed, and the steps read last: their GUIDs, macro and
  // container.
  MacroOrder order_;
  std::optional<std::string> order_container_;
  std::vector<std::string> listed_;
  std::optional<std::string> listed_macro_;
  std::string listed_container_;
  // Declared last, so that its thread ends before anything it reads with is gone.
  std::unique_ptr<ReadAhead> read_ahead_;
};

}  // namespace

std::unique_ptr<MacroStoreDriver> open_sqlite_macro_store(const std::string& path,
                                                          const StoreOptions& options,
                                                          const Where& where) {
  return std::make_unique<SqliteMacroStore>(path, options, where);
}

}  // namespace tarvex::companions::store
