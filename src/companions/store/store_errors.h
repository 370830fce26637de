// The errors that the store companions raise: one number a kind of failure, each described in
// words that tell a user what to fix. Sources name the component and the operation, e.g.
// "Stepstore_83.Helper.MacroRead".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "automation/error.h"
#include "automation/guard.h"

namespace tarvex::companions::store {

using automation::Where;

// The project name under which the store companions raise.
inline constexpr std::string_view kStoreProject = "Stepstore_83";

enum class StoreError : std::int32_t {
  BadConnectionDocument = 1101,  // the connection document cannot be loaded, or none was
  BadConnectionText = 1102,      // the connection text cannot be parsed or names no usable driver
  StoreUnavailable = 1103,       // the store cannot be opened, is locked, or is not a macro store
  ExportFailed = 1104,           // the exported macro steps cannot be written
  StoreNotWritten = 1105,        // a store cannot be created or filled
};

// The error's number: the object-defined error base plus the kind's code.
std::int32_t store_error_number(StoreError kind);

// Raises `kind` with the source "Stepstore_83.<module>.<procedure>".
[[noreturn]] void raise_store_error(StoreError kind, const Where& where, std::string description);

}  // namespace tarvex::companions::store
