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
  // Keeps the application and project for later; the resources themselves do not depend on
  // them, so a lookup before Initialise is answered all the same.
  void Initialise(const contracts::ObjectRef& application, const std::string& project) override;
  std::string GetResourceText(const std::string& key) override;

  const contracts::ObjectRef& application() const { return application_; }
  const std::string& project() const { return project_; }

 private:
  contracts::ObjectRef application_;
  std::string project_;
};

}  // namespace tarvex::companions::utilities
