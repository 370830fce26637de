// On Windows the document object model is the platform's own, created by its ProgID through the
// platform; only the XmlUtility is ours.
#include "automation/registry.h"
#include "companions/registration.h"
#include "companions/windows/dom/xml_utility.h"

namespace tarvex::companions {

void register_dom() {
  automation::register_shared<contracts::XmlUtility>(
      [] { return std::make_shared<windows::XmlUtilityImpl>(); });
}

}  // namespace tarvex::companions
