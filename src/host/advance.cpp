// The advance line of a long run.
#include "host/advance.h"

#include <fmt/format.h>

#include <charconv>

#include "automation/text.h"

namespace tarvex::host {

void AdvanceDisplay::TraceMessage(const std::string& message, std::int32_t& level,
                                  const std::string& project, const std::string& class_name,
                                  const std::string& procedure) {
  next_.TraceMessage(message, level, project, class_name, procedure);
  if (class_name != "Examiner") return;
  if (procedure == "GetMacroGUIDs" && message.ends_with(" Macros found")) {
    std::from_chars(message.data(), message.data() + message.size(), found_);
  } else if (procedure == "ReportOnMacro" &&
             automation::starts_with(message, "Reporting on Macro '")) {
    ++reported_;
    fmt::print(out_, "\r\033[KReporting on macro {} of {}", reported_, found_);
    std::fflush(out_);
    shown_ = true;
  }
}

void AdvanceDisplay::clear() {
  if (!shown_) return;
  fmt::print(out_, "\r\033[K");
  std::fflush(out_);
  shown_ = false;
}

}  // namespace tarvex::host
