// TraceUtility over the process-wide trace.
#include "companions/utilities/trace_utility.h"

#include "automation/convert.h"
#include "companions/utilities/trace.h"

namespace tarvex::companions::utilities {

std::string version_text(const contracts::ObjectRef& application) {
  auto part = [&](std::string_view member) {
    return std::to_string(automation::to_long(automation::get(application, member)));
  };
  return part("Major") + "." + part("Minor") + "." + part("Revision");
}

void TraceUtilityImpl::TraceMessage(const std::string& message, std::int32_t& level,
                                    const std::string& project, const std::string& class_name,
                                    const std::string& procedure) {
  if (!trace_enabled()) return;
  write_trace_line(trace_line(level_name(level), project, class_name, procedure, message));
}

std::string TraceUtilityImpl::VersionText(const contracts::ObjectRef& application) {
  return version_text(application);
}

std::string TraceUtilityImpl::LevelName(std::int32_t level) {
  return level_name(level);
}

}  // namespace tarvex::companions::utilities
