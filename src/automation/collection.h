// The general-purpose ordered collection of variant values, reachable both directly and by
// member name: Count, Item (also the default member, the empty name), Add, Remove and _NewEnum.
// Items are numbered from 1 and may carry a text key, unique without regard to letter case.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "automation/object.h"

namespace tarvex::automation {

class Enumerator;

class Collection : public Object {
 public:
  static std::shared_ptr<Collection> create() { return std::make_shared<Collection>(); }

  std::int32_t count() const { return static_cast<std::int32_t>(items_.size()); }
  // At the end, or before or after the item that `before` or `after` names (at most one of
  // them). An empty key or position counts as not given; a key already taken raises 457.
  void add(Variant item, const Variant& key = {}, const Variant& before = {},
           const Variant& after = {});
  // The item of an index from 1 to count() (any other raises 9) or of a key (an unknown one
  // raises 5).
  const Variant& item(const Variant& index) const;
  const Variant& item(std::int32_t index) const { return item(Variant(index)); }
  void remove(const Variant& index);
  const std::vector<Variant>& items() const { return items_; }
  // Walks the items as they are now.
  std::shared_ptr<Enumerator> enumerate() const;

  Variant invoke(std::string_view member, CallKind kind, Args& args) override;

 private:
  std::size_t position_of(const Variant& index) const;

  std::vector<Variant> items_;
  std::vector<std::string> keys_;  // lower case; empty: no key
};

// What _NewEnum gives: the items one by one, as the platform's enumerators of variants do.
class Enumerator : public Object {
 public:
  explicit Enumerator(std::shared_ptr<const std::vector<Variant>> items)
      : items_(std::move(items)) {}
  // The next item into `out`; false at the end.
  bool next(Variant& out);
  // Passes over `count` items; false when fewer were left.
  bool skip(std::size_t count);
  void reset() { position_ = 0; }
  // Another enumerator at the same place.
  std::shared_ptr<Enumerator> clone() const { return std::make_shared<Enumerator>(*this); }

 private:
  std::shared_ptr<const std::vector<Variant>> items_;
  std::size_t position_ = 0;
};

}  // namespace tarvex::automation
