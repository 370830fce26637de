// The collection, its member table and its enumerator.
#include "automation/collection.h"

#include <algorithm>

#include "automation/convert.h"
#include "automation/text.h"

namespace tarvex::automation {

namespace {

bool given(const Variant& v) {
  return !v.is_empty();
}

}  // namespace

std::size_t Collection::position_of(const Variant& index) const {
  if (index.kind() == Kind::String) {
    const std::string key = ascii_lower(index.as_string());
    auto it = std::find(keys_.begin(), keys_.end(), key);
    if (key.empty() || it == keys_.end()) raise(RuntimeError::InvalidProcedureCall);
    return static_cast<std::size_t>(it - keys_.begin());
  }
  const std::int32_t i = to_long(index);
  if (i < 1 || i > count()) raise(RuntimeError::SubscriptOutOfRange);
  return static_cast<std::size_t>(i - 1);
}

void Collection::add(Variant item, const Variant& key, const Variant& before,
                     const Variant& after) {
  if (given(before) && given(after)) raise(RuntimeError::InvalidProcedureCall);
  std::string lower = given(key) ? ascii_lower(to_text(key)) : std::string();
  if (!lower.empty() && std::find(keys_.begin(), keys_.end(), lower) != keys_.end()) {
    raise(RuntimeError::KeyAlreadyTaken);
  }
  std::size_t at = items_.size();
  if (given(before)) at = position_of(before);
  if (given(after)) at = position_of(after) + 1;
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
  keys_.insert(keys_.begin() + static_cast<std::ptrdiff_t>(at), std::move(lower));
}

const Variant& Collection::item(const Variant& index) const {
  return items_[position_of(index)];
}

void Collection::remove(const Variant& index) {
  const auto at = static_cast<std::ptrdiff_t>(position_of(index));
  items_.erase(items_.begin() + at);
  keys_.erase(keys_.begin() + at);
}

std::shared_ptr<Enumerator> Collection::enumerate() const {
  return std::make_shared<Enumerator>(std::make_shared<const std::vector<Variant>>(items_));
}

Variant Collection::invoke(std::string_view member, CallKind kind, Args& args) {
  static constexpr std::array<Member<Collection>, 6> kMembers{{
      {"Count", CallKind::Get,
       [](Collection& c, Args& a) -> Variant {
         a.expect(0);
         return c.count();
       }},
      {"Add", CallKind::Method,
       [](Collection& c, Args& a) -> Variant {
         a.expect(1, 4);
         const Variant none;
         c.add(a[0], a.has(1) ? a[1] : none, a.has(2) ? a[2] : none, a.has(3) ? a[3] : none);
         return {};
       }},
      {"Item", CallKind::Get,
       [](Collection& c, Args& a) -> Variant {
         a.expect(1);
         return c.item(a[0]);
       }},
      {"", CallKind::Get,
       [](Collection& c, Args& a) { return c.invoke("Item", CallKind::Get, a); }},
      {"Remove", CallKind::Method,
       [](Collection& c, Args& a) -> Variant {
         a.expect(1);
         c.remove(a[0]);
         return {};
       }},
      {"_NewEnum", CallKind::Get,
       [](Collection& c, Args& a) -> Variant {
         a.expect(0);
         return c.enumerate();
       }},
  }};
  return dispatch(*this, member, kind, args, kMembers);
}

bool Enumerator::next(Variant& out) {
  if (position_ >= items_->size()) return false;
  out = (*items_)[position_++];
  return true;
}

bool Enumerator::skip(std::size_t count) {
  const std::size_t left = items_->size() - std::min(position_, items_->size());
  position_ += std::min(count, left);
  return count <= left;
}

}  // namespace tarvex::automation
