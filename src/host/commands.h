// The sub-commands of the host program `tarvex`, each in a file of its own.
#pragma once

#include <CLI/CLI.hpp>

namespace tarvex::host {

void add_run_commands(CLI::App& app);    // run, validate
void add_store_commands(CLI::App& app);  // store create, store synth
void add_demo_command(CLI::App& app);    // demo

}  // namespace tarvex::host
