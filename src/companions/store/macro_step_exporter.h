// The macro step exporter: writes the container's macro steps under a folder, one folder a
// macro (named from the macro's name) and one XML file a step (named from its position and
// heading), each holding the step's GUID, macro GUID, position, heading, method name and
// parameters. Files that a run writes are replaced whole; nothing else is touched. The export
// folder's parent may be a link; inside the export folder no link is followed: a link where a
// macro's folder (or the export folder itself) belongs is replaced by a real folder, and a link
// at a step file's name is replaced by the file.
#pragma once

#include "companions/store/macro_store_driver.h"
#include "contracts/companions.h"

namespace tarvex::companions::store {

class MacroStepExporterImpl : public contracts::MacroStepExporter {
 public:
  explicit MacroStepExporterImpl(StoreOptions options = {}) : options_(options) {}

  // Reads the store that `document` (a ConnectionDocument) names, on the calling thread; two
  // threads of its own write the files meanwhile and are done when it returns. `logger` is not
  // used: the report run gives the export's progress message itself. Raises the store's errors,
  // and ExportFailed naming the path that cannot be written, once every file before it is.
  void ExportMacroSteps(const automation::ObjectRef& document, const std::string& folder,
                        const automation::ObjectRef& logger) override;

 private:
  StoreOptions options_;
};

// The XML text of one exported step. `parameters` is a (name, value) table or empty.
std::string macro_step_xml(const automation::Variant& guid, const automation::Variant& macro_guid,
                           const automation::Variant& position, const automation::Variant& heading,
                           const automation::Variant& method_name,
                           const automation::Variant& parameters);

}  // namespace tarvex::companions::store
