// The error object's member table.
#include "automation/error_object.h"

namespace tarvex::automation {

Variant ErrorObject::invoke(std::string_view member, CallKind kind, Args& args) {
  static constexpr std::array<Member<ErrorObject>, 6> kMembers{{
      {"Number", CallKind::Get, [](ErrorObject& e, Args&) -> Variant { return e.error_.number(); }},
      {"Source", CallKind::Get, [](ErrorObject& e, Args&) -> Variant { return e.error_.source(); }},
      {"Description", CallKind::Get,
       [](ErrorObject& e, Args&) -> Variant { return e.error_.description(); }},
      {"HelpFile", CallKind::Get,
       [](ErrorObject& e, Args&) -> Variant { return e.error_.help_file(); }},
      {"HelpContext", CallKind::Get,
       [](ErrorObject& e, Args&) -> Variant { return e.error_.help_context(); }},
      {"Raise", CallKind::Method, [](ErrorObject& e, Args&) -> Variant { e.raise_again(); }},
  }};
  return dispatch(*this, member, kind, args, kMembers);
}

}  // namespace tarvex::automation
