// Running one macro step of the report plug-in as the product's macro engine does: register the
// companions and the plug-in, create it by its ProgID, hand it a step script and a logger.
// Shared by `tarvex run`, `tarvex validate` and `tarvex demo`.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "automation/object.h"
#include "automation/variant.h"
#include "host/step_script.h"

namespace tarvex::host {

struct StepOptions {
  std::string method = "tarvex";
  std::string trace;   // trace lines go to this file, "-" for standard error, "" nowhere
  bool quiet = false;  // print nothing but errors
};

// Sends the trace where `options` asks, makes the plug-in object and runs `step` on it. An
// error raised in between is printed as one line ("error NUMBER: DESCRIPTION (source SOURCE)"),
// followed by a line "hint: ..." when `script` tells the likely cause, and ends tarvex with
// status 1 (CLI::RuntimeError).
void with_plugin(const StepOptions& options, const StepScript* script,
                 const std::function<void(const automation::ObjectRef& plugin)>& step);

// Executes the step with `parameters`, progress messages on standard output. On a terminal
// the macros' advance shows on one line.
void run_step(const StepOptions& options, StepParameters parameters);

}  // namespace tarvex::host
