// The general-purpose ordered collection of variant values (Count, Add, Item), reachable both
// directly and by member name. Items are numbered from 1; keys are not supported.
#pragma once

#include <memory>
#include <vector>

#include "automation/object.h"

namespace tarvex::automation {

class Collection : public Object {
 public:
  static std::shared_ptr<Collection> create() { return std::make_shared<Collection>(); }

  std::int32_t count() const { return static_cast<std::int32_t>(items_.size()); }
  void add(Variant item) { items_.push_back(std::move(item)); }
  // Item `index`, from 1 to count(); any other index raises 9.
  const Variant& item(std::int32_t index) const;
  const std::vector<Variant>& items() const { return items_; }

  Variant invoke(std::string_view member, CallKind kind, Args& args) override;

 private:
  std::vector<Variant> items_;
};

}  // namespace tarvex::automation
