// The error object's member table.
#include "automation/error_object.h"

namespace tarvex::automation {

Variant ErrorObject::invoke(std::string_view member, CallKind kind, Args& args) {
  static constexpr std::array<Member<ErrorObject>, 6> kMembers{{
      {"Number", CallKind::Get, [](ErrorObject& e, Args&) -> Variant { return e.error_.number(); }},
      {"Source", CallKind::Get, [](ErrorObject& e, Args&) -> Variant { return e.error_.source(); }},
      {"Description", CallKind::Get,
       [](ErrorObject& e, Args&) -> Variant { return e.error_.description(); }},
      // This system never sets a help file or context: the error object answers them empty.
      {"HelpFile", CallKind::Get, [](ErrorObject&, Args&) -> Variant { return std::string(); }},
      {"HelpContext", CallKind::Get,
       [](ErrorObject&, Args&) -> Variant { return std::int32_t{0}; }},
      {"Raise", CallKind::Method, [](ErrorObject& e, Args&) -> Variant { e.raise_again(); }},
  }};
  return dispatch(*this, member, kind, args, kMembers);
}

}  // namespace tarvex::automation
