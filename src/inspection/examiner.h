// Examiner: reads the macros of one application container through the macro database helper
// and writes their sections (macros, steps, step progress) into the report document. A failing
// macro or step becomes an error row in the report instead of ending the report.
#pragma once

#include <memory>
#include <string>

#include "automation/object.h"
#include "automation/variant.h"
#include "contracts/companions.h"

namespace tarvex::xhtml {
class XHTMLDocument;
}

namespace tarvex::inspection {

class Examiner {
 public:
  // The connection document of the container to inspect; replaces any earlier one.
  void ConnectionDocument(std::shared_ptr<contracts::ConnectionDocument> NewDocument);

  // The GUIDs of all macros of the container that `oConnectionDocument` describes, in the
  // helper's row order, unconverted: a one-dimensional array, or the empty value when there
  // are none. Errors are logged and raised again.
  automation::Variant GetMacroGUIDs(
      const std::shared_ptr<contracts::ConnectionDocument>& oConnectionDocument);

  // Writes the section of one macro and its steps. Every failure of its own work becomes the
  // row "Error reporting on macro"; only a failure while writing that row travels on.
  void ReportOnMacro(std::shared_ptr<xhtml::XHTMLDocument> oReport, std::string sMacroGUID,
                     bool ReportMacroStepProgress);

  // Writes the section "Macros" and one section per macro. `oReport` must be an XHTMLDocument
  // (13 otherwise, once the first macro is reached). Errors are logged and raised again.
  void ReportOnMacros(const automation::ObjectRef& oReport, bool ReportMacroStepProgress);

 private:
  // The macro database helper, created on the first request.
  automation::ObjectRef LazyMacroHelper();
  void ReportOnMacroSteps(const std::shared_ptr<xhtml::XHTMLDocument>& oReport,
                          const std::string& sMacroGUID, bool ReportMacroStepProgress);

  std::shared_ptr<contracts::ConnectionDocument> connection_document_;
  automation::ObjectRef macro_helper_;
};

}  // namespace tarvex::inspection
