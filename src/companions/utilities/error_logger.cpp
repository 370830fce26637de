// The error-logging component: one trace record, then the same error raised again.
#include "companions/utilities/error_logger.h"

#include <fmt/format.h>

#include "automation/convert.h"
#include "automation/error.h"
#include "companions/utilities/trace.h"
#include "companions/utilities/trace_utility.h"

namespace tarvex::companions::utilities {

namespace {

using automation::Args;
using automation::NullAs;
using automation::Variant;

automation::Error error_from(const Variant& error_object) {
  try {
    std::int32_t number = automation::to_long(automation::get(error_object, "Number"));
    std::string source =
        automation::to_text(automation::get(error_object, "Source"), NullAs::EmptyText);
    std::string description =
        automation::to_text(automation::get(error_object, "Description"), NullAs::EmptyText);
    return automation::Error(number, std::move(source), std::move(description));
  } catch (...) {
    automation::Error why = automation::error_from_current_exception();
    throw automation::Error(5, std::string(kErrorLoggerSource),
                            fmt::format("{}: the first argument is not an error object ({})",
                                        automation::runtime_description(5), why.description()));
  }
}

std::string application_text(const Variant& application) {
  try {
    const automation::ObjectRef& app = automation::object_of(application);
    std::string title = automation::to_text(automation::get(app, "Title"), NullAs::EmptyText);
    return title + " " + version_text(app);
  } catch (...) {
    return "unknown application";
  }
}

std::string text_or_empty(const Variant& value) {
  try {
    return automation::to_text(value, NullAs::EmptyText);
  } catch (...) {
    return "?";
  }
}

void record(const automation::Error& error, Args& args) noexcept {
  try {
    if (!trace_enabled()) return;
    std::string message = fmt::format(
        "error {} at line {} from {}: {} ({})", error_number_text(error.number()),
        text_or_empty(args[2]), error.source(), error.description(), application_text(args[1]));
    write_trace_line(trace_line(level_name(1), text_or_empty(args[3]), text_or_empty(args[4]),
                                text_or_empty(args[5]), message));
  } catch (...) {
    // A record that cannot be made must not cost the caller its error.
  }
}

}  // namespace

std::string error_number_text(std::int32_t number) {
  return fmt::format("{} (0x{:08X})", number, static_cast<std::uint32_t>(number));
}

Variant ErrorLoggerHelper::invoke(std::string_view member, automation::CallKind kind, Args& args) {
  static constexpr std::array<automation::Member<ErrorLoggerHelper>, 1> kMembers{{
      {"LogAndReRaiseVBError", automation::CallKind::Method,
       [](ErrorLoggerHelper&, Args& a) -> Variant {
         a.expect(6);
         automation::Error error = error_from(a[0]);
         record(error, a);
         throw error;
       }},
  }};
  return automation::dispatch(*this, member, kind, args, kMembers);
}

}  // namespace tarvex::companions::utilities
