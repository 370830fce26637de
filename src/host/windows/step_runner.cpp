// Creating the plug-in through the platform and running one step of it. The trace is the
// component's own affair here: it lives in the DLL, out of the host's reach.
#include "host/step_runner.h"

#include <CLI/CLI.hpp>
#include <memory>

#include "automation/registry.h"
#include "contracts/late_bound.h"
#include "host/hints.h"
#include "host/step_script.h"

namespace tarvex::host {

void with_plugin(const StepOptions& options, const StepScript* script,
                 const std::function<void(const automation::ObjectRef& plugin)>& step) {
  if (!options.trace.empty()) {
    throw CLI::ValidationError("--trace", "the trace is not available in the Windows host");
  }
  try {
    step(automation::create_object(contracts::kImplementationProgId));
  } catch (...) {
    fail_with_hint(script);
  }
}

void run_step(const StepOptions& options, StepParameters parameters) {
  auto script = std::make_shared<StepScript>(options.method, std::move(parameters));
  auto logger = std::make_shared<ProgressLogger>(options.quiet ? nullptr : stdout);
  with_plugin(options, script.get(), [&](const automation::ObjectRef& plugin) {
    automation::call(plugin, "Execute", script, logger);
  });
}

}  // namespace tarvex::host
