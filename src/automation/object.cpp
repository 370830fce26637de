// Late binding: argument access and member-name matching.
#include "automation/object.h"

#include <string>

#include "automation/text.h"

namespace tarvex::automation {

const Variant& Args::operator[](std::size_t i) const {
  if (i >= refs_.size()) raise(RuntimeError::WrongArgumentCount);
  return *refs_[i];
}

Variant& Args::ref(std::size_t i) {
  if (i >= refs_.size()) raise(RuntimeError::WrongArgumentCount);
  if (i < 64) written_ |= std::uint64_t{1} << i;
  return *refs_[i];
}

void Args::expect(std::size_t min, std::size_t max) const {
  if (refs_.size() < min || refs_.size() > max) raise(RuntimeError::WrongArgumentCount);
}

Variant Object::invoke(std::string_view member, CallKind, Args&) {
  raise_unknown_member(member);
}

void raise_unknown_member(std::string_view) {
  raise(RuntimeError::MemberNotSupported);
}

const ObjectRef& object_of(const Variant& target) {
  if (!target.is_object()) raise(RuntimeError::ObjectRequired);
  const ObjectRef& object = target.as_object();
  if (!object) raise(RuntimeError::ObjectNotSet);
  return object;
}

namespace detail {
bool member_matches(std::string_view name, CallKind name_kind, std::string_view member,
                    CallKind kind) {
  bool kinds_fit = (name_kind == CallKind::Put) == (kind == CallKind::Put);
  return kinds_fit && ascii_iequals(name, member);
}
}  // namespace detail

}  // namespace tarvex::automation
