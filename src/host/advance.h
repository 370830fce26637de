// The advance of a long run on a terminal: "Reporting on macro K of N", kept on one line. It
// stands in front of the thread's TraceUtility, which still receives every message, and knows
// the inspection's trace calls by their procedure and level: one detail call from
// GetMacroGUIDs, whose message starts with the number of macros found, then one from
// ReportOnMacro for each macro. Of a message's text only that leading figure is read.
#pragma once

#include <cstdint>
#include <cstdio>

#include "contracts/companions.h"

namespace tarvex::host {

class AdvanceDisplay : public contracts::TraceUtility {
 public:
  AdvanceDisplay(contracts::TraceUtility& next, std::FILE* out) : next_(next), out_(out) {}

  void TraceMessage(const std::string& message, std::int32_t& level, const std::string& project,
                    const std::string& class_name, const std::string& procedure) override;
  std::string VersionText(const automation::ObjectRef& application) override {
    return next_.VersionText(application);
  }
  std::string LevelName(std::int32_t level) override { return next_.LevelName(level); }

  // Erases the advance line, so that other output starts at the beginning of a line.
  void clear();

 private:
  contracts::TraceUtility& next_;
  std::FILE* out_;
  std::int64_t found_ = 0;
  std::int64_t reported_ = 0;
  bool shown_ = false;
};

}  // namespace tarvex::host
