// The `tarvex run` sub-command.
#include "host/commands.h"

namespace tarvex::host {

void add_run_commands(CLI::App&) {}

}  // namespace tarvex::host
