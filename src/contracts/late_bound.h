// The names by which the system reaches objects it only knows by member name: the host's step
// script and logger, the macro database helper and the document object model. Their members,
// as the system calls them:
//
//   step script     MethodName -> text; MethodParameters(name) -> parameter object, whose
//                   Value is the parameter's variant value
//   logger          LogMacroStepProgressMessage(message, progress As Integer, level As Long,
//                   project, class, procedure)
//   macro helper    MacroRead(doc) / MacroRead(doc, guid); MacroStepReadInformationForMacro(doc,
//                   guid); MacroStepProgressRead(doc, step guid). All arguments by reference;
//                   results are the empty value or (column, row) arrays.
//   DOM             createComment(text) -> node; appendchild(node); element Text and
//                   nodeTypedValue (put: replaces the content with one text node)
//   error logger    LogAndReRaiseVBError(error, App, line, project, module, procedure)
#pragma once

#include <string_view>

#include "automation/error.h"

namespace tarvex::contracts {

inline constexpr std::string_view kImplementationProgId = "Tarvex_83.Implementation";
static_assert(kImplementationProgId.starts_with(automation::kProjectName));
inline constexpr std::string_view kMacroHelperProgIdTemplate = "Stepstore_%v.Helper";
inline constexpr std::string_view kDomProgId = "MSXML2.DOMDocument";

}  // namespace tarvex::contracts
