// Registers every companion component with the automation layer: the per-thread shared
// utilities, the classes created with new, and the late-bound classes by ProgID. A host calls
// register_companions() once at start-up, before the plug-in's own registration.
#pragma once

namespace tarvex::companions {

void register_companions();

// The parts, each kept beside the components it registers.
void register_utilities();  // utilities/: shared utilities, factory, resources, error logger
void register_dom();        // dom/: "MSXML2.DOMDocument" and XmlUtility
void register_store();      // store/: connection document and inspector, helper, exporter

}  // namespace tarvex::companions
