// The PostgreSQL driver of the macro store: one connection and one read-only, repeatable-read
// transaction, shared by the drivers a thread has open on the same connection text, so that
// everything one report reads comes from one snapshot; statements prepared on first use.
#pragma once

#include <memory>

#include "companions/store/macro_store_driver.h"

namespace tarvex::companions::store {

// Connects as `connection` says (Host, Port, Database, User, Password, ConnectTimeout, any
// other key that libpq knows passed on as a parameter of that name, unknown ones ignored),
// begins the transaction and checks the tables. Raises StoreUnavailable naming the server, the
// database and the reason (the table, for one that is missing or cannot be read), never the
// password.
std::unique_ptr<MacroStoreDriver> open_pg_macro_store(const ConnectionText& connection,
                                                      const StoreOptions& options,
                                                      const Where& where);

}  // namespace tarvex::companions::store
