// Implementation: the plug-in's creatable class, the object the host's macro engine calls for a
// step of this plug-in's kind. Execute runs one report; the two validation calls find nothing
// to object to. The object keeps no state between calls.
#pragma once

#include <memory>

#include "automation/object.h"
#include "contracts/companions.h"

namespace tarvex::entry {

class Implementation : public automation::Object {
 public:
  // Accepts only the method name "tarvex"; any other is refused with kObjectErrorBase + 965.
  // Loads the connection document from step parameter "macrocontainerconnectiondocument" and
  // runs the report. Every error is logged and raised again to the caller.
  void Execute(automation::ObjectRef oMacroStepScript, automation::ObjectRef oMacroLogger);

  // The collection that ValidateStructure returns for the same argument.
  automation::ObjectRef ValidateContent(automation::ObjectRef oMacroStepScript);

  // A new, empty collection on every call; the argument is not read.
  automation::ObjectRef ValidateStructure(automation::ObjectRef oMacroStepScript);

  // Execute, ValidateContent and ValidateStructure by member name. The host's objects must be
  // object references (Nothing included); any other value is a type mismatch.
  automation::Variant invoke(std::string_view member, automation::CallKind kind,
                             automation::Args& args) override;

 private:
  // One report from title to saved file, with the macro steps exported beside it and two
  // progress messages to the logger.
  void GenerateReport(const automation::ObjectRef& oMacroStepScript,
                      const std::shared_ptr<contracts::ConnectionDocument>& oConnectionDocument,
                      const automation::ObjectRef& oMacroLogger);
};

}  // namespace tarvex::entry
