// The seam between the macro store's readers (the helper, the exporter) and the database that
// holds the store: one driver a kind of database, chosen by the connection text's Driver.
//
// Every read returns the empty variant when it finds no rows, else a zero-based (column, row)
// table. Date-time columns hold a Date when the stored text reads as one, Null for NULL, and
// anything else as stored.
#pragma once

#include <memory>
#include <string>

#include "automation/variant.h"
#include "companions/store/connection_text.h"

namespace tarvex::companions::store {

class MacroStoreDriver {
 public:
  virtual ~MacroStoreDriver() = default;

  // The container's macros ordered by name (NULL first, then by code point), then GUID.
  // Columns: 0 guid, 1 name, 2 edit_state, 3 run_state, 4 next_item, 5 last_start,
  // 6 last_completion, 7 failure_note, 8 execution_command.
  virtual automation::Variant read_macros(const std::string& container) = 0;
  // The container's macro rows with that GUID, columns as above.
  virtual automation::Variant read_macro(const std::string& container,
                                         const automation::Variant& guid) = 0;
  // The steps of that macro, when the container has a macro of that GUID, each once, by
  // position. Columns: 0 guid, 1 macro_guid, 2 heading, 3 method_name, 4 edit_state,
  // 5 run_state, 6 started, 7 ended, 8 position, 9 progress (as stored),
  // 10 validation_failure_note.
  virtual automation::Variant read_steps(const std::string& container,
                                         const automation::Variant& macro_guid) = 0;
  // The step's progress messages by seq. Columns: 0 seq, 1 logged_at, 2 message, 3 progress,
  // 4 level, 5 component, 6 module, 7 procedure.
  virtual automation::Variant read_progress(const automation::Variant& step_guid) = 0;
  // The step's parameters in the order they were stored. Columns: 0 name, 1 value.
  virtual automation::Variant read_parameters(const automation::Variant& step_guid) = 0;
};

struct StoreOptions {
  int busy_timeout_ms = 5000;  // how long a read waits for a writer before it gives up
};

// Opens the store that `connection` names. Raises StoreUnavailable (source from `where`) when it
// cannot be opened, BadConnectionText when the text lacks what the driver needs or names a
// driver this build does not have.
std::unique_ptr<MacroStoreDriver> open_macro_store(const ConnectionText& connection,
                                                   const StoreOptions& options, const Where& where);

}  // namespace tarvex::companions::store
