// Stand-ins for the host at the plug-in's edge: the step script that names the method and
// hands out parameters, and the logger of progress messages.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "automation/object.h"

namespace tarvex::entry::testing {

// MethodName, and MethodParameters(name).Value; an unknown name raises 5.
class StepScript : public automation::Object {
 public:
  std::string method_name = "tarvex";
  std::map<std::string, automation::Variant> parameters;
  automation::Variant invoke(std::string_view member, automation::CallKind kind,
                             automation::Args& args) override;
};

// Keeps each progress message as "text [progress kind:value, level kind:value, place]".
class Logger : public automation::Object {
 public:
  std::vector<std::string> messages;
  automation::Variant invoke(std::string_view member, automation::CallKind kind,
                             automation::Args& args) override;
};

}  // namespace tarvex::entry::testing
