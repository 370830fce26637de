// The plug-in class: method-name check, connection document, and the report run with its front
// matter. The report document is driven by member name only; the companions through their
// interfaces.
#include "entry/implementation.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "automation/app.h"
#include "automation/collection.h"
#include "automation/convert.h"
#include "automation/error.h"
#include "automation/guard.h"
#include "automation/registry.h"
#include "automation/text.h"
#include "inspection/examiner.h"
#include "xhtml/xhtml_document.h"

namespace tarvex::entry {

using automation::ObjectRef;
using automation::Variant;

namespace {

constexpr std::string_view kProject = automation::kProjectName;
constexpr std::string_view kClass = "Implementation";
constexpr std::string_view kMethodName = "tarvex";
constexpr std::int32_t kRefusedMethodName = automation::kObjectErrorBase + 965;

// The Value of the parameter object that the step script gives for `name`. What happens for a
// name the step does not have is the host's business.
Variant StepParameterValue(const ObjectRef& oMacroStepScript, std::string_view name) {
  return automation::get(automation::get(oMacroStepScript, "MethodParameters", name), "Value");
}

void LogProgress(const ObjectRef& oMacroLogger, const std::string& message, std::int16_t progress) {
  automation::call(oMacroLogger, "LogMacroStepProgressMessage", message, progress, std::int32_t{4},
                   kProject, kClass, "GenerateReport");
}

// One front-matter row: label and value, a table of its own.
void AddRow(const ObjectRef& oReport, std::string_view label, std::string value) {
  automation::call(oReport, "AddSingleRowTableToBody",
                   automation::Array::of({Variant(label), Variant(std::move(value))}));
}

// A host object argument: an object reference, possibly Nothing; anything else mismatches.
ObjectRef ObjectArgument(const Variant& value) {
  if (!value.is_object()) automation::raise(automation::RuntimeError::TypeMismatch);
  return value.as_object();
}

}  // namespace

void Implementation::Execute(ObjectRef oMacroStepScript, ObjectRef oMacroLogger) {
  automation::guarded({kClass, "Execute"}, [&] {
    if (automation::to_text(automation::get(oMacroStepScript, "MethodName")) != kMethodName) {
      std::string source = automation::qualified_name(kProject, kClass, "Execute");
      std::string description = "'";
      description += automation::to_text(automation::get(oMacroStepScript, "MethodName"));
      description += "' is not handled by '";
      description += source;
      description += "'";
      throw automation::Error(kRefusedMethodName, std::move(source), std::move(description));
    }
    auto oConnectionDocument = automation::create_new<contracts::ConnectionDocument>();
    oConnectionDocument->LoadDocument(automation::to_text(
        StepParameterValue(oMacroStepScript, "macrocontainerconnectiondocument")));
    GenerateReport(oMacroStepScript, oConnectionDocument, oMacroLogger);
  });
}

ObjectRef Implementation::ValidateContent(ObjectRef oMacroStepScript) {
  return automation::guarded<ObjectRef>({kClass, "ValidateContent"}, [&](ObjectRef& result) {
    result = ValidateStructure(oMacroStepScript);
  });
}

ObjectRef Implementation::ValidateStructure(ObjectRef) {
  return automation::guarded<ObjectRef>({kClass, "ValidateStructure"}, [&](ObjectRef& result) {
    result = automation::Collection::create();
  });
}

void Implementation::GenerateReport(
    const ObjectRef& oMacroStepScript,
    const std::shared_ptr<contracts::ConnectionDocument>& oConnectionDocument,
    const ObjectRef& oMacroLogger) {
  automation::guarded({kClass, "GenerateReport"}, [&] {
    ObjectRef oReport = xhtml::XHTMLDocument::create();
    auto oRunEnvironment = automation::create_new<contracts::RunEnvironment>();
    auto oExaminer = std::make_shared<inspection::Examiner>();
    auto& resources = automation::shared<contracts::ComponentResources>();

    {
      std::string title = "Macro Report on ";
      title += oConnectionDocument->LocationName();
      title += ".";
      title += oConnectionDocument->ApplicationContainerName();
      title += " at ";
      title += automation::date_time_text(automation::now_local());
      automation::call(oReport, "SetTitle", title);
    }
    automation::call(oReport, "SetStyle", resources.GetResourceText("Style Sheet"));

    // Front matter: the container's header and seven rows.
    {
      std::string header = "Report on ";
      header += oConnectionDocument->LocationName();
      header += ".";
      header += oConnectionDocument->ApplicationContainerName();
      automation::call(oReport, "AddBodyHeader", header);
    }
    AddRow(oReport, "Report generated at",
           automation::shared<contracts::DateTimeUtility>().CurrentTimestampText());
    {
      std::string account = oRunEnvironment->AccountDomain();
      account += "\\";
      account += oRunEnvironment->AccountName();
      AddRow(oReport, "Report run by", std::move(account));
    }
    {
      std::string machine = oRunEnvironment->MachineDomain();
      machine += "\\";
      machine += oRunEnvironment->MachineName();
      AddRow(oReport, "Report run on", std::move(machine));
    }
    AddRow(oReport, "Application container name", oConnectionDocument->ApplicationContainerName());
    AddRow(oReport, "Connection string", oConnectionDocument->ConnectionString(true));

    // The connection description only informs: a failing statement here is skipped.
    ObjectRef oConnection;
    std::string sDescription;
    automation::skip_failures(
        [&] {
          oConnection = automation::shared<contracts::ConnectionInspector>().ConnectionFromText(
              oConnectionDocument->ConnectionString(false));
        },
        [&] {
          sDescription =
              automation::shared<contracts::ConnectionInspector>().DescribeConnection(oConnection);
        },
        [&] { sDescription = automation::replace_all(sDescription, "Connection Properties", ""); },
        [&] { sDescription = automation::mid(sDescription, 4); },
        [&] { sDescription = automation::replace_all(sDescription, "\r\n\r\n", ". "); },
        [&] { AddRow(oReport, "Connection Properties", sDescription); });

    {
      std::string generated_by = automation::App()->title();
      generated_by += " version ";
      generated_by += automation::shared<contracts::TraceUtility>().VersionText(automation::App());
      AddRow(oReport, "Generated by", std::move(generated_by));
    }

    // The macro sections.
    oExaminer->ConnectionDocument(oConnectionDocument);
    bool report_step_progress =
        automation::to_boolean(StepParameterValue(oMacroStepScript, "reportmacrostepprogress"));
    oExaminer->ReportOnMacros(oReport, report_step_progress);

    // Saving and export.
    auto& file_system = automation::shared<contracts::FileSystemUtility>();
    std::string sReportFolder =
        automation::to_text(StepParameterValue(oMacroStepScript, "reportfolder"));
    file_system.PrepareFolder(sReportFolder);
    std::string sReportPath =
        file_system.CombinePath(sReportFolder, resources.GetResourceText("Report File Name"));
    LogProgress(oMacroLogger, "Saving report to '" + sReportPath + "'", 80);
    automation::call(oReport, "Save", sReportPath);

    auto oExporter = automation::create_new<contracts::MacroStepExporter>();
    oExporter->ExportMacroSteps(
        oConnectionDocument, file_system.CombinePath(sReportFolder, "Macro Steps"), oMacroLogger);
    LogProgress(oMacroLogger, "Exported macro steps", 90);
  });
}

Variant Implementation::invoke(std::string_view member, automation::CallKind kind,
                               automation::Args& args) {
  using automation::CallKind;
  static constexpr std::array<automation::Member<Implementation>, 3> kMembers{{
      {"Execute", CallKind::Method,
       [](Implementation& self, automation::Args& a) -> Variant {
         a.expect(2);
         self.Execute(ObjectArgument(a[0]), ObjectArgument(a[1]));
         return {};
       }},
      {"ValidateContent", CallKind::Method,
       [](Implementation& self, automation::Args& a) -> Variant {
         a.expect(1);
         return self.ValidateContent(ObjectArgument(a[0]));
       }},
      {"ValidateStructure", CallKind::Method,
       [](Implementation& self, automation::Args& a) -> Variant {
         a.expect(1);
         return self.ValidateStructure(ObjectArgument(a[0]));
       }},
  }};
  return automation::dispatch(*this, member, kind, args, kMembers);
}

}  // namespace tarvex::entry
