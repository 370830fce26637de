// The `tarvex store` sub-command.
#include "host/commands.h"

namespace tarvex::host {

void add_store_commands(CLI::App&) {}

}  // namespace tarvex::host
