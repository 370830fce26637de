// The host's one-line hint after an error of the plug-in: the plug-in's own text stays as it
// is, but the host knows what it handed over and can often tell the likely cause.
#pragma once

#include <optional>
#include <string>

#include "automation/error.h"
#include "host/step_script.h"

namespace tarvex::host {

// The text after "hint: " for `error` raised while running `script`, or none when the host
// cannot tell the cause.
std::optional<std::string> hint_for(const automation::Error& error, const StepScript& script);

// Prints the error in flight as one line ("error NUMBER: DESCRIPTION (source SOURCE)"), then the
// hint when `script` tells the likely cause, and ends tarvex with status 1 (CLI::RuntimeError).
// Call it only from a catch block.
[[noreturn]] void fail_with_hint(const StepScript* script);

}  // namespace tarvex::host
