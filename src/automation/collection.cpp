// The collection and its member table.
#include "automation/collection.h"

#include "automation/convert.h"

namespace tarvex::automation {

const Variant& Collection::item(std::int32_t index) const {
  if (index < 1 || index > count()) raise(RuntimeError::SubscriptOutOfRange);
  return items_[static_cast<std::size_t>(index - 1)];
}

Variant Collection::invoke(std::string_view member, CallKind kind, Args& args) {
  static constexpr std::array<Member<Collection>, 3> kMembers{{
      {"Count", CallKind::Get,
       [](Collection& c, Args& a) -> Variant {
         a.expect(0);
         return c.count();
       }},
      {"Add", CallKind::Method,
       [](Collection& c, Args& a) -> Variant {
         a.expect(1);
         c.add(a[0]);
         return {};
       }},
      {"Item", CallKind::Get,
       [](Collection& c, Args& a) -> Variant {
         a.expect(1);
         return c.item(to_long(a[0]));
       }},
  }};
  return dispatch(*this, member, kind, args, kMembers);
}

}  // namespace tarvex::automation
