// The `tarvex demo` sub-command.
#include "host/commands.h"

namespace tarvex::host {

void add_demo_command(CLI::App&) {}

}  // namespace tarvex::host
