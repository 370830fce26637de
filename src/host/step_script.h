// The host's side of one macro step: the step script (method name and named parameters) and
// the progress logger, as the plug-in reaches them by member name.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "automation/object.h"

namespace tarvex::host {

// MethodName, and MethodParameters(name) -> an object whose Value is the parameter's value.
// Names match without regard to ASCII letter case; an unknown name raises 5 naming it.
class StepScript : public automation::Object {
 public:
  StepScript(std::string method_name, std::map<std::string, automation::Variant> parameters);

  automation::Variant invoke(std::string_view member, automation::CallKind kind,
                             automation::Args& args) override;

 private:
  std::string method_name_;
  std::map<std::string, automation::Variant> parameters_;  // key: lower-case name
};

// LogMacroStepProgressMessage(message, progress, level, project, class, procedure): prints
// "[ 80%] message" on `out`, one line each, or nothing when `out` is null. `before_line` runs
// before each line is printed.
class ProgressLogger : public automation::Object {
 public:
  explicit ProgressLogger(std::FILE* out, std::function<void()> before_line = {})
      : out_(out), before_line_(std::move(before_line)) {}

  automation::Variant invoke(std::string_view member, automation::CallKind kind,
                             automation::Args& args) override;

 private:
  std::FILE* out_;
  std::function<void()> before_line_;
};

}  // namespace tarvex::host
