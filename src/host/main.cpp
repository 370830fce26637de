// The host program `tarvex`: stands in for the product's macro engine. It registers the
// companions and the plug-in, then runs one sub-command. Exit status: 0 success, 1 the step
// raised an error, 2 a usage error of tarvex itself.
#include <CLI/CLI.hpp>

#include "automation/app.h"
#include "companions/utilities/trace_utility.h"
#include "host/commands.h"

int main(int argc, char** argv) {
  CLI::App app{"tarvex - runs macro report steps and builds macro stores"};
  app.require_subcommand(1);
  const auto& component = tarvex::automation::App();
  app.set_version_flag("--version", component->title() + " " +
                                        tarvex::companions::utilities::version_text(component));
  // Options may repeat, a later value replacing an earlier one; the sub-commands inherit this.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  tarvex::host::add_run_commands(app);
  tarvex::host::add_store_commands(app);
  tarvex::host::add_demo_command(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::RuntimeError& e) {
    // A sub-command's own failure: it has already said what went wrong.
    return e.get_exit_code();
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  return 0;
}
