// The error-logging component "Faultkit_83.Helper": records an error to the trace and raises it
// again unchanged. Called by member name only:
//
//   LogAndReRaiseVBError(error, application, line, project, module, procedure)
//
// `error` is read by member name (Number, Source, Description), `application` for Title and
// Major/Minor/Revision. The record is one trace line at level "Error":
//
//   ... [Error] Tarvex_83.Examiner.ReportOnMacros: error -2147220539 (0x800403C5) at line 110
//       from Tarvex_83.Examiner.GetMacroGUIDs: <description> (Tarvex 1.0.0)
//
// Nothing about recording (no trace, a trace that cannot be written, an application object
// without those members) keeps the error from being raised again. An `error` argument that is
// not an error object raises 5 with source "Faultkit_83.Helper" instead.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "automation/object.h"

namespace tarvex::companions::utilities {

inline constexpr std::string_view kErrorLoggerSource = "Faultkit_83.Helper";

class ErrorLoggerHelper : public automation::Object {
 public:
  static std::shared_ptr<ErrorLoggerHelper> create() {
    return std::make_shared<ErrorLoggerHelper>();
  }
  automation::Variant invoke(std::string_view member, automation::CallKind kind,
                             automation::Args& args) override;
};

// "-2147220539 (0x800403C5)": the number in decimal and as eight hexadecimal digits.
std::string error_number_text(std::int32_t number);

}  // namespace tarvex::companions::utilities
