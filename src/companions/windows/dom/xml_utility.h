// XmlUtility over the platform's document object model ("MSXML2.DOMDocument"), reached by member
// name like any other late-bound object. Its own serialisation indents and adds line breaks,
// which would change preformatted texts, so the markup is written here, walking the tree.
#pragma once

#include <string>

#include "contracts/companions.h"

namespace tarvex::companions::windows {

class XmlUtilityImpl : public contracts::XmlUtility {
 public:
  contracts::ObjectRef AppendRootElement(contracts::ObjectRef& document, const std::string& name,
                                         const contracts::Variant& name_space) override;
  contracts::ObjectRef AppendChildElement(contracts::ObjectRef& parent, const std::string& name,
                                          const contracts::Variant& name_space) override;
  contracts::ObjectRef SetElementAttribute(contracts::ObjectRef& element, const std::string& name,
                                           const std::string& value) override;
  // Elements whose children are all elements have them one a line, indented by two blanks a
  // level; any other element is written on one line as it is, so no text gains white space.
  // Texts are escaped as by the document object model of companions/dom (xml_text.h).
  std::string DocumentText(contracts::ObjectRef& document) override;
  void WriteDocumentText(contracts::ObjectRef& document, contracts::TextSink& sink) override;
};

}  // namespace tarvex::companions::windows
