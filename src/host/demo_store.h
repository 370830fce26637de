// The demonstration store of `tarvex demo`: a handful of macros of one application container
// with fixed names, states, times and progress messages, so that every build is the same.
#pragma once

#include <string_view>

#include "tools/store_builder.h"

namespace tarvex::host {

inline constexpr std::string_view kDemoLocation = "SRV";
inline constexpr std::string_view kDemoContainer = "Sales";

// Writes the demonstration macros: a completed one with several steps and recorded progress, a
// failed one with a failure note, one never run with a step whose validation failed, one still
// running whose progress holds a message without a level (an error row in the report), a
// cancelled one without steps, and a macro of another container that the report on
// kDemoContainer leaves out.
void fill_demo_store(tools::StoreWriter& writer);

}  // namespace tarvex::host
