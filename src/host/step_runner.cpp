// Creating the plug-in and running one step of it, with the trace, the progress lines and the
// advance display of a terminal run.
#include "host/step_runner.h"

#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <optional>

#include "automation/error.h"
#include "automation/registry.h"
#include "companions/registration.h"
#include "companions/utilities/trace.h"
#include "contracts/late_bound.h"
#include "entry/server.h"
#include "host/advance.h"
#include "host/hints.h"
#include "host/step_script.h"

namespace tarvex::host {

void with_plugin(const StepOptions& options, const StepScript* script,
                 const std::function<void(const automation::ObjectRef& plugin)>& step) {
  companions::register_companions();
  entry::DllRegisterServer();
  try {
    if (options.trace == "-")
      companions::set_trace_destination(companions::TraceDestination::standard_error());
    else if (!options.trace.empty())
      companions::set_trace_destination(companions::TraceDestination::to_file(options.trace));
    automation::ObjectRef plugin = automation::create_object(contracts::kImplementationProgId);
    step(plugin);
  } catch (...) {
    fail_with_hint(script);
  }
}

// The advance line is erased before each progress message and at the end of the run, so that
// other output starts at the beginning of a line.
void run_step(const StepOptions& options, StepParameters parameters) {
  auto script = std::make_shared<StepScript>(options.method, std::move(parameters));
  std::shared_ptr<AdvanceDisplay> advance;
  std::optional<automation::ScopedShared<contracts::TraceUtility>> advance_scope;
  auto clear_advance = [&advance] {
    if (advance) advance->clear();
  };
  auto logger = std::make_shared<ProgressLogger>(options.quiet ? nullptr : stdout, clear_advance);
  with_plugin(options, script.get(), [&](const automation::ObjectRef& plugin) {
    if (!options.quiet && isatty(STDOUT_FILENO)) {
      advance =
          std::make_shared<AdvanceDisplay>(automation::shared<contracts::TraceUtility>(), stdout);
      advance_scope.emplace(advance);
    }
    try {
      automation::call(plugin, "Execute", script, logger);
    } catch (...) {
      clear_advance();
      throw;
    }
    clear_advance();
  });
}

}  // namespace tarvex::host
