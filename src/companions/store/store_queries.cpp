// The macro store's SELECTs and their two dialects.
#include "companions/store/store_queries.h"

#include <fmt/format.h>

#include <cctype>

#include "contracts/macro_store_columns.h"

namespace tarvex::companions::store {

namespace {

using contracts::select_list;

// The steps of macro $1, when container $2 has a macro of that GUID. EXISTS rather than a join:
// a GUID that the container repeats must not repeat its steps.
constexpr std::string_view kStepsOfMacro =
    "macro_step WHERE macro_guid = $1 AND EXISTS (SELECT 1 FROM macro WHERE container = $2 AND "
    "guid = $1)";

// The code-point collation of each dialect.
std::string_view by_code_point(Dialect dialect) {
  return dialect == Dialect::PostgreSQL ? " COLLATE \"C\"" : " COLLATE BINARY";
}

// How one macro's steps, and one step's progress or parameters, are ordered; `p` qualifies the
// columns.
std::string order_of(StoreRead read, Dialect dialect, std::string_view p = {}) {
  const std::string_view c = by_code_point(dialect);
  switch (read) {
    case StoreRead::Macros:
      return fmt::format("{0}name{1} NULLS FIRST, {0}guid{1}", p, c);
    case StoreRead::Steps:
      return fmt::format("{0}position, {0}guid{1}", p, c);
    case StoreRead::Progress:
      return fmt::format("{}seq", p);
    case StoreRead::Parameters:
      return fmt::format("{0}name{1}, {0}value{1} NULLS FIRST", p, c);
    case StoreRead::Macro:
      break;
  }
  return {};
}

// $N -> ?N for SQLite.
std::string in_dialect(std::string sql, Dialect dialect) {
  if (dialect == Dialect::SQLite) {
    for (std::size_t i = 0; i + 1 < sql.size(); ++i) {
      if (sql[i] == '$' && std::isdigit(static_cast<unsigned char>(sql[i + 1]))) sql[i] = '?';
    }
  }
  return sql;
}

}  // namespace

const char* read_name(StoreRead read) {
  switch (read) {
    case StoreRead::Macros:
      return "macros";
    case StoreRead::Macro:
      return "macro";
    case StoreRead::Steps:
      return "steps";
    case StoreRead::Progress:
      return "progress";
    case StoreRead::Parameters:
      return "parameters";
  }
  return "";
}

std::size_t read_parameters(StoreRead read) {
  return read == StoreRead::Macro || read == StoreRead::Steps ? 2 : 1;
}

std::string store_query(StoreRead read, Dialect dialect) {
  std::string sql;
  switch (read) {
    case StoreRead::Macros:
      sql = fmt::format("SELECT {} FROM macro WHERE container = $1 ORDER BY {}",
                        select_list(contracts::kMacroColumns), order_of(read, dialect));
      break;
    case StoreRead::Macro:
      sql = fmt::format("SELECT {} FROM macro WHERE container = $1 AND guid = $2",
                        select_list(contracts::kMacroColumns));
      break;
    case StoreRead::Steps:
      sql = fmt::format("SELECT {} FROM {} ORDER BY {}", select_list(contracts::kStepColumns),
                        kStepsOfMacro, order_of(read, dialect));
      break;
    case StoreRead::Progress:
      sql = fmt::format("SELECT {} FROM macro_step_progress WHERE step_guid = $1 ORDER BY {}",
                        select_list(contracts::kProgressColumns), order_of(read, dialect));
      break;
    case StoreRead::Parameters:
      sql = fmt::format("SELECT {} FROM macro_step_parameter WHERE step_guid = $1 ORDER BY {}",
                        select_list(contracts::kParameterColumns), order_of(read, dialect));
      break;
  }
  return in_dialect(std::move(sql), dialect);
}

std::string steps_rows_query(StoreRead read) {
  constexpr Dialect pg = Dialect::PostgreSQL;
  const std::string places = fmt::format(
      "SELECT guid, min(place) AS place FROM (SELECT guid, row_number() OVER (ORDER BY {}) AS "
      "place FROM {}) AS s GROUP BY guid",
      order_of(StoreRead::Steps, pg), kStepsOfMacro);
  const bool progress = read == StoreRead::Progress;
  return fmt::format(
      "SELECT l.place, {} FROM ({}) AS l JOIN {} p ON p.step_guid = l.guid ORDER BY l.place, {}",
      progress ? select_list(contracts::kProgressColumns, "p.")
               : select_list(contracts::kParameterColumns, "p."),
      places, progress ? "macro_step_progress" : "macro_step_parameter", order_of(read, pg, "p."));
}

}  // namespace tarvex::companions::store
