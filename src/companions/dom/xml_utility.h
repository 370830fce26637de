// XmlUtility over the document object model of dom_node.h: builds elements and attributes
// directly on the nodes and writes the document's markup in one pass.
#pragma once

#include <string>

#include "contracts/companions.h"

namespace tarvex::companions::dom {

class XmlUtilityImpl : public contracts::XmlUtility {
 public:
  // A document that already has its document element refuses a second one (5).
  contracts::ObjectRef AppendRootElement(contracts::ObjectRef& document, const std::string& name,
                                         const contracts::Variant& name_space) override;
  // The parent is an element, or the document (then as AppendRootElement).
  contracts::ObjectRef AppendChildElement(contracts::ObjectRef& parent, const std::string& name,
                                          const contracts::Variant& name_space) override;
  // Sets or replaces the attribute; returns the element.
  contracts::ObjectRef SetElementAttribute(contracts::ObjectRef& element, const std::string& name,
                                           const std::string& value) override;
  // "" for a document without a document element.
  std::string DocumentText(contracts::ObjectRef& document) override;
};

}  // namespace tarvex::companions::dom
