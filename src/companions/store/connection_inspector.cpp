// Connection objects and their descriptions.
#include "companions/store/connection_inspector.h"

#include <array>

#include "automation/convert.h"
#include "automation/text.h"

namespace tarvex::companions::store {

using automation::Args;
using automation::CallKind;
using automation::Member;
using automation::Variant;

Variant Connection::invoke(std::string_view member, CallKind kind, Args& args) {
  static constexpr std::array<Member<Connection>, 2> kMembers{{
      {"Driver", CallKind::Get,
       [](Connection& self, Args& a) -> Variant {
         a.expect(0);
         return driver_name(self.text_.driver());
       }},
      {"Item", CallKind::Get,
       [](Connection& self, Args& a) -> Variant {
         a.expect(1);
         auto value = self.text_.value(automation::to_text(a[0]));
         return value ? Variant(*value) : Variant();
       }},
  }};
  return dispatch(*this, member, kind, args, kMembers);
}

automation::ObjectRef ConnectionInspectorImpl::ConnectionFromText(const std::string& text) {
  return std::make_shared<Connection>(
      ConnectionText::parse(text, {"ConnectionInspector", "ConnectionFromText"}));
}

std::string ConnectionInspectorImpl::DescribeConnection(const automation::ObjectRef& connection) {
  const ConnectionText& text = automation::object_as<Connection>(connection)->text();
  std::string out = "Connection Properties:\r\nDriver: ";
  out += driver_name(text.driver());
  for (const ConnectionProperty& property : text.properties()) {
    std::string key = canonical_key(property.key);
    if (key == "Driver") continue;
    out += "\r\n\r\n";
    out += key;
    out += ": ";
    out += key == "Password" ? kPasswordMask : std::string_view(property.value);
  }
  return out;
}

}  // namespace tarvex::companions::store
