// XmlUtility over the document object model of dom_node.h: builds elements and attributes
// directly in the tree and writes the document's markup straight from it.
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
  // "" for a document without a document element. Elements whose children are all elements get
  // one child a line, indented by two blanks; any other element (one holding text, a comment or
  // nothing) is written on one line as it is, so no added blank ever becomes part of a text.
  // Text escapes &, <, > and CR (as "&#13;", so parsing gives the CR back); attribute values
  // also escape ", TAB and LF. Comments are written as they are held.
  std::string DocumentText(contracts::ObjectRef& document) override;
  void WriteDocumentText(contracts::ObjectRef& document, contracts::TextSink& sink) override;
};

}  // namespace tarvex::companions::dom
