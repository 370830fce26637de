// Macro stores on a PostgreSQL server: the empty store of `tarvex store create --connection`,
// and a SQLite store's rows copied to a server, which is how `tarvex store synth --connection`
// fills one (built in SQLite first, so the same seed gives the same rows on both).
#pragma once

#include <string>

#include "companions/store/connection_text.h"

namespace tarvex::tools {

using companions::store::ConnectionText;

// Creates the four tables and their indexes in the connection's database. Refuses, naming
// them, when any of them exists. Raises StoreNotWritten naming the server and database.
void create_pg_store(const ConnectionText& connection);

// Copies the rows of the SQLite store at `sqlite_path` to the connection's database in one
// transaction, with COPY: tables that are missing are created (a date-time column that holds
// texts other than date-times as text, so that they arrive as stored), existing ones emptied
// first. Raises StoreNotWritten naming the store or the server.
void copy_store_to_pg(const std::string& sqlite_path, const ConnectionText& connection);

}  // namespace tarvex::tools
