// The advance line of a long run.
#include "host/advance.h"

#include <fmt/format.h>

#include <charconv>
#include <string_view>

namespace tarvex::host {

namespace {

constexpr std::string_view kInspection = "Examiner";
constexpr std::string_view kMacrosFound = "GetMacroGUIDs";
constexpr std::string_view kReportingOnMacro = "ReportOnMacro";
constexpr std::int32_t kDetail = 4;  // the level of the inspection's own steps

}  // namespace

void AdvanceDisplay::TraceMessage(const std::string& message, std::int32_t& level,
                                  const std::string& project, const std::string& class_name,
                                  const std::string& procedure) {
  const bool detail = level == kDetail;
  next_.TraceMessage(message, level, project, class_name, procedure);
  if (!detail || class_name != kInspection) return;
  if (procedure == kMacrosFound) {
    std::from_chars(message.data(), message.data() + message.size(), found_);
  } else if (procedure == kReportingOnMacro) {
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
