// TraceUtility: trace lines to the host's chosen destination (trace.h), version texts and
// level names.
#pragma once

#include "contracts/companions.h"

namespace tarvex::companions::utilities {

class TraceUtilityImpl : public contracts::TraceUtility {
 public:
  // Nothing happens while the trace goes nowhere; a line that the destination refuses is lost
  // rather than failing the caller's work.
  void TraceMessage(const std::string& message, std::int32_t& level, const std::string& project,
                    const std::string& class_name, const std::string& procedure) override;
  std::string VersionText(const contracts::ObjectRef& application) override;
  std::string LevelName(std::int32_t level) override;
};

// "Major.Minor.Revision", read by member name from the application object.
std::string version_text(const contracts::ObjectRef& application);

}  // namespace tarvex::companions::utilities
