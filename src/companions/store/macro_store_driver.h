// The seam between the macro store's readers (the helper, the exporter) and the database that
// holds the store: one driver a kind of database, chosen by the connection text's Driver.
//
// Every read returns the empty variant when it finds no rows, else a zero-based (column, row)
// table whose columns are those of contracts/macro_store_columns.h. Date-time columns hold a Date
// when the stored text reads as one, Null for NULL, and anything else as stored. Texts compare
// by code point; no order depends on where a row lies (store_queries.h).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "automation/variant.h"
#include "companions/store/connection_text.h"

namespace tarvex::companions::store {

class MacroStoreDriver {
 public:
  virtual ~MacroStoreDriver() = default;

  // The container's macros ordered by name (NULL first, then by code point), then GUID.
  // Columns: MacroColumn.
  virtual automation::Variant read_macros(const std::string& container) = 0;
  // The container's macro rows with that GUID, columns as above.
  virtual automation::Variant read_macro(const std::string& container,
                                         const automation::Variant& guid) = 0;
  // The steps of that macro, when the container has a macro of that GUID, each once, by
  // position, then GUID. Columns: StepColumn (progress as stored).
  virtual automation::Variant read_steps(const std::string& container,
                                         const automation::Variant& macro_guid) = 0;
  // The step's progress messages by seq. Columns: ProgressColumn.
  virtual automation::Variant read_progress(const automation::Variant& step_guid) = 0;
  // The step's parameters by name, then value (NULL first). Columns: ParameterColumn.
  virtual automation::Variant read_parameters(const automation::Variant& step_guid) = 0;
};

// A stored integer as a cell: Long within 32 bits, Double beyond.
automation::Variant integer_cell(std::int64_t value);
// A stored text as a cell: with `date_time`, a Date when it reads as one; else the String.
automation::Variant text_cell(std::string_view text, bool date_time);

// The container's macros in the order their list was read, each GUID once with the rows it is
// on: a driver serves a macro's row from it and reads the next macro's rows ahead.
class MacroOrder {
 public:
  // Starts over on `macros`, a table of MacroColumn rows or the empty variant.
  void list(const automation::Variant& macros);
  // The rows of the list that hold `guid`; none when it is not listed.
  const std::vector<std::int32_t>* rows_of(const std::string& guid) const;
  // The macro listed after `guid`; none when `guid` is last or not listed.
  std::optional<std::string> after(const std::string& guid) const;

 private:
  struct Rank {
    std::size_t rank;
    std::vector<std::int32_t> rows;
  };
  std::vector<std::string> order_;
  std::unordered_map<std::string, Rank> ranks_;
};

struct StoreOptions {
  int busy_timeout_ms = 5000;     // how long a read waits for a writer before it gives up
  int server_batch_rows = 10000;  // rows of the steps' progress a server read holds at a time
  // Once progress is asked for, a file store reads the next steps' on a thread of its own.
  bool read_ahead = true;
};

// Opens the store that `connection` names and checks its four tables. Raises StoreUnavailable
// (source from `where`) when it cannot be opened or a table is missing, lacks a column or cannot
// be read, naming it; BadConnectionText when the text lacks what the driver needs or names a
// driver this build does not have.
std::unique_ptr<MacroStoreDriver> open_macro_store(const ConnectionText& connection,
                                                   const StoreOptions& options, const Where& where);

}  // namespace tarvex::companions::store
