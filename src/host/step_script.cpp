// The host's step script and progress logger.
#include "host/step_script.h"

#include <fmt/format.h>

#include <memory>

#include "automation/convert.h"
#include "automation/text.h"

namespace tarvex::host {

using automation::Args;
using automation::CallKind;
using automation::Variant;

namespace {

class StepParameter : public automation::Object {
 public:
  explicit StepParameter(Variant value) : value_(std::move(value)) {}

  Variant invoke(std::string_view member, CallKind kind, Args& args) override {
    static constexpr std::array<automation::Member<StepParameter>, 1> kMembers{{
        {"Value", CallKind::Get,
         [](StepParameter& p, Args& a) -> Variant {
           a.expect(0);
           return p.value_;
         }},
    }};
    return automation::dispatch(*this, member, kind, args, kMembers);
  }

 private:
  Variant value_;
};

}  // namespace

StepScript::StepScript(std::string method_name, StepParameters parameters)
    : method_name_(std::move(method_name)) {
  for (auto& [name, value] : parameters.values)
    parameters_.values.insert_or_assign(automation::ascii_lower(name), std::move(value));
  for (auto& [name, option] : parameters.options)
    parameters_.options.insert_or_assign(automation::ascii_lower(name), std::move(option));
}

const Variant* StepScript::value(const std::string& name) const {
  auto found = parameters_.values.find(name);
  return found == parameters_.values.end() ? nullptr : &found->second;
}

std::string StepScript::option(const std::string& name) const {
  auto found = parameters_.options.find(name);
  return found == parameters_.options.end() ? std::string() : found->second;
}

Variant StepScript::invoke(std::string_view member, CallKind kind, Args& args) {
  static constexpr std::array<automation::Member<StepScript>, 2> kMembers{{
      {"MethodName", CallKind::Get,
       [](StepScript& s, Args& a) -> Variant {
         a.expect(0);
         return s.method_name_;
       }},
      {"MethodParameters", CallKind::Get,
       [](StepScript& s, Args& a) -> Variant {
         a.expect(1);
         std::string name = automation::to_text(a[0]);
         auto found = s.parameters_.values.find(automation::ascii_lower(name));
         if (found == s.parameters_.values.end()) {
           if (s.first_missing_.empty()) s.first_missing_ = automation::ascii_lower(name);
           automation::raise(automation::RuntimeError::InvalidProcedureCall,
                             "the step has no parameter '" + name + "'");
         }
         return std::make_shared<StepParameter>(found->second);
       }},
  }};
  return automation::dispatch(*this, member, kind, args, kMembers);
}

Variant ProgressLogger::invoke(std::string_view member, CallKind kind, Args& args) {
  static constexpr std::array<automation::Member<ProgressLogger>, 1> kMembers{{
      {"LogMacroStepProgressMessage", CallKind::Method,
       [](ProgressLogger& l, Args& a) -> Variant {
         a.expect(6);
         if (l.out_) {
           if (l.before_line_) l.before_line_();
           fmt::print(l.out_, "[{:>3}%] {}\n", automation::to_text(a[1]),
                      automation::to_text(a[0], automation::NullAs::EmptyText));
           std::fflush(l.out_);
         }
         return {};
       }},
  }};
  return automation::dispatch(*this, member, kind, args, kMembers);
}

}  // namespace tarvex::host
