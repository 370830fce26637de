// Registers the document object model under its ProgID and the shared XmlUtility.
#include "automation/registry.h"
#include "companions/dom/dom_node.h"
#include "companions/dom/xml_utility.h"
#include "companions/registration.h"
#include "contracts/late_bound.h"

namespace tarvex::companions {

void register_dom() {
  automation::register_progid(
      contracts::kDomProgId, [] { return automation::ObjectRef(dom::DomNode::create_document()); });
  automation::register_shared<contracts::XmlUtility>(
      [] { return std::make_shared<dom::XmlUtilityImpl>(); });
}

}  // namespace tarvex::companions
