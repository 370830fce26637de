// ComponentResources: the named texts of the component.
//
//   "Report File Name"  "MacroReport.html"
//   "Style Sheet"       the report's style sheet (style_sheet.h)
//
// Keys match exactly; any other key raises 5 with a description that names it.
#pragma once

#include "contracts/companions.h"

namespace tarvex::companions::utilities {

class ComponentResourcesImpl : public contracts::ComponentResources {
 public:
  // The resources do not depend on the application or the project, so there is nothing to
  // keep, and a lookup before Initialise is answered all the same.
  void Initialise(const contracts::ObjectRef&, const std::string&) override {}
  std::string GetResourceText(const std::string& key) override;
};

}  // namespace tarvex::companions::utilities
