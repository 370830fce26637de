// The host's stand-ins of entry_doubles.h.
#include "entry_doubles.h"

#include "automation/convert.h"
#include "automation/error.h"

namespace tarvex::entry::testing {

using namespace automation;

namespace {

class Parameter : public Object {
 public:
  explicit Parameter(Variant value) : value_(std::move(value)) {}
  Variant invoke(std::string_view member, CallKind kind, Args& args) override {
    static constexpr std::array<Member<Parameter>, 1> kMembers{
        {{"Value", CallKind::Get, [](Parameter& p, Args&) { return p.value_; }}}};
    return dispatch(*this, member, kind, args, kMembers);
  }

 private:
  Variant value_;
};

}  // namespace

Variant StepScript::invoke(std::string_view member, CallKind kind, Args& args) {
  static constexpr std::array<Member<StepScript>, 2> kMembers{{
      {"MethodName", CallKind::Get, [](StepScript& s, Args&) -> Variant { return s.method_name; }},
      {"MethodParameters", CallKind::Get,
       [](StepScript& s, Args& a) -> Variant {
         auto found = s.parameters.find(to_text(a[0]));
         if (found == s.parameters.end()) raise(RuntimeError::InvalidProcedureCall);
         return std::make_shared<Parameter>(found->second);
       }},
  }};
  return dispatch(*this, member, kind, args, kMembers);
}

Variant Logger::invoke(std::string_view member, CallKind kind, Args& args) {
  static constexpr std::array<Member<Logger>, 1> kMembers{
      {{"LogMacroStepProgressMessage", CallKind::Method, [](Logger& l, Args& a) -> Variant {
          a.expect(6);
          auto typed = [](const Variant& v) {
            return std::string(kind_name(v.kind())) + ":" + to_text(v);
          };
          l.messages.push_back(to_text(a[0]) + " [" + typed(a[1]) + ", " + typed(a[2]) + ", " +
                               to_text(a[3]) + "." + to_text(a[4]) + "." + to_text(a[5]) + "]");
          return {};
        }}}};
  return dispatch(*this, member, kind, args, kMembers);
}

}  // namespace tarvex::entry::testing
