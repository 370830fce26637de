// The SELECTs of the macro store, each written once and filled in for the database that runs
// it: parameters are $1, $2, ... on PostgreSQL and ?1, ?2, ... on SQLite; texts are ordered by
// code point on both. Every order is made of columns alone, never of where a row lies, so that
// both databases hand out the same rows in the same order whatever updates and vacuums did.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace tarvex::companions::store {

enum class Dialect { SQLite, PostgreSQL };

// The reads of the driver seam (MacroStoreDriver), with their parameters.
enum class StoreRead {
  Macros,      // $1 container
  Macro,       // $1 container, $2 GUID
  Steps,       // $1 macro GUID, $2 container
  Progress,    // $1 step GUID
  Parameters,  // $1 step GUID
};

inline constexpr std::array<StoreRead, 5> kStoreReads{StoreRead::Macros, StoreRead::Macro,
                                                      StoreRead::Steps, StoreRead::Progress,
                                                      StoreRead::Parameters};

// A name for the read, usable as a prepared statement's.
const char* read_name(StoreRead read);
// How many parameters the read takes.
std::size_t read_parameters(StoreRead read);
std::string store_query(StoreRead read, Dialect dialect);

// PostgreSQL: the rows of Progress or Parameters for every step of macro $1 in container $2,
// each led by its step's place (the row of the Steps read where the step first appears,
// counted from 1), ordered by place and then as the read orders one step's rows.
std::string steps_rows_query(StoreRead read);

}  // namespace tarvex::companions::store
