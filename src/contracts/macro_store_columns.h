// The columns of the macro store's results, by name: the reports read them with these names and
// every store driver builds its SELECT list from the same tables, so the position of a column
// is written down once. Results are zero-based (column, row) tables.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace tarvex::contracts {

// MacroRead: the macros of a container.
enum class MacroColumn : std::int32_t {
  Guid,
  Name,
  EditState,
  RunState,
  NextItem,
  LastStart,
  LastCompletion,
  FailureNote,
  ExecutionCommand,
  Count
};

// MacroStepReadInformationForMacro: the steps of a macro.
enum class StepColumn : std::int32_t {
  Guid,
  MacroGuid,
  Heading,
  MethodName,
  EditState,
  RunState,
  Started,
  Ended,
  Position,
  Progress,
  ValidationFailureNote,
  Count
};

// MacroStepProgressRead: the progress messages of a step.
enum class ProgressColumn : std::int32_t {
  Seq,
  LoggedAt,
  Message,
  Progress,
  Level,
  Component,
  Module,
  Procedure,
  Count
};

// The parameters of a step (read by the exporter).
enum class ParameterColumn : std::int32_t { Name, Value, Count };

// The index of a column in its result table.
template <class Column>
requires std::is_enum_v<Column>
constexpr std::int32_t column_index(Column column) {
  return static_cast<std::int32_t>(column);
}

template <class Column>
inline constexpr std::size_t kColumnCount = static_cast<std::size_t>(Column::Count);

// One result column: its name in the store's table and whether it holds a date-time, which
// drivers deliver as a Date when the stored value reads as one.
struct StoreColumn {
  std::string_view name;
  bool date_time = false;
};

template <class Column>
using ColumnTable = std::array<StoreColumn, kColumnCount<Column>>;

// Each table lists its columns in the order of its enum.
inline constexpr ColumnTable<MacroColumn> kMacroColumns{{
    {"guid"},
    {"name"},
    {"edit_state"},
    {"run_state"},
    {"next_item"},
    {"last_start", true},
    {"last_completion", true},
    {"failure_note"},
    {"execution_command"},
}};

inline constexpr ColumnTable<StepColumn> kStepColumns{{
    {"guid"},
    {"macro_guid"},
    {"heading"},
    {"method_name"},
    {"edit_state"},
    {"run_state"},
    {"started", true},
    {"ended", true},
    {"position"},
    {"progress"},
    {"validation_failure_note"},
}};

inline constexpr ColumnTable<ProgressColumn> kProgressColumns{{
    {"seq"},
    {"logged_at", true},
    {"message"},
    {"progress"},
    {"level"},
    {"component"},
    {"module"},
    {"procedure"},
}};

inline constexpr ColumnTable<ParameterColumn> kParameterColumns{{
    {"name"},
    {"value"},
}};

// The SELECT list of a table, "a, b, c", each name qualified by `prefix` when one is given
// (e.g. "s." for a query that joins).
template <std::size_t N>
std::string select_list(const std::array<StoreColumn, N>& columns, std::string_view prefix = {}) {
  std::string list;
  for (const StoreColumn& column : columns) {
    if (!list.empty()) list += ", ";
    list += prefix;
    list += column.name;
  }
  return list;
}

}  // namespace tarvex::contracts
