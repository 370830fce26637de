// Registers the store companions: the connection document and the exporter (created with new),
// the per-thread connection inspector, and the macro database helper by its ProgID.
#include "automation/registry.h"
#include "companions/registration.h"
#include "companions/store/connection_document.h"
#include "companions/store/connection_inspector.h"
#include "companions/store/macro_helper.h"
#include "companions/store/macro_step_exporter.h"

namespace tarvex::companions {

void register_store() {
  using namespace store;
  automation::register_new<contracts::ConnectionDocument>(
      [] { return std::make_shared<ConnectionDocumentImpl>(); });
  automation::register_shared<contracts::ConnectionInspector>(
      [] { return std::make_shared<ConnectionInspectorImpl>(); });
  automation::register_new<contracts::MacroStepExporter>(
      [] { return std::make_shared<MacroStepExporterImpl>(); });
  automation::register_progid(kMacroHelperProgId, [] { return std::make_shared<MacroHelper>(); });
}

}  // namespace tarvex::companions
