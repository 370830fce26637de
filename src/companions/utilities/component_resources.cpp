// ComponentResources: the report file name and the style sheet.
#include "companions/utilities/component_resources.h"

#include "companions/utilities/style_sheet.h"
#include "companions/utilities/utility_error.h"

namespace tarvex::companions::utilities {

std::string ComponentResourcesImpl::GetResourceText(const std::string& key) {
  if (key == "Report File Name") return "MacroReport.html";
  if (key == "Style Sheet") return std::string(report_style_sheet());
  raise_error("ComponentResources", automation::RuntimeError::InvalidProcedureCall,
              "there is no resource named '" + key + "'");
}

}  // namespace tarvex::companions::utilities
