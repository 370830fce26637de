// The host's side of one macro step: the step script (method name and named parameters) and
// the progress logger, as the plug-in reaches them by member name.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "automation/object.h"

namespace tarvex::host {

// A step's parameters and, for each one the command line gave, the option that gave it
// ("--param", "--param-file", ...): what the host handed over, for the hints after an error.
struct StepParameters {
  std::map<std::string, automation::Variant> values;
  std::map<std::string, std::string> options;
};

// MethodName, and MethodParameters(name) -> an object whose Value is the parameter's value.
// Names match without regard to ASCII letter case; an unknown name raises 5 naming it.
class StepScript : public automation::Object {
 public:
  StepScript(std::string method_name, StepParameters parameters);

  automation::Variant invoke(std::string_view member, automation::CallKind kind,
                             automation::Args& args) override;

  const std::string& method_name() const { return method_name_; }
  // The parameter's value, or null when the step has none of that (lower-case) name.
  const automation::Variant* value(const std::string& name) const;
  // The option that gave the parameter; empty when none did.
  std::string option(const std::string& name) const;
  // The first name that the plug-in asked for and the step did not have; empty when none.
  const std::string& first_missing() const { return first_missing_; }

 private:
  std::string method_name_;
  StepParameters parameters_;  // keys: lower-case names
  std::string first_missing_;
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
