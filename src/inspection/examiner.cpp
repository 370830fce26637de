// Examiner: the macro, macro step and step progress sections of the report, read through the
// late-bound macro database helper. One macro or one step that fails becomes an error row and
// the report goes on with the next.
#include "inspection/examiner.h"

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "automation/app.h"
#include "automation/collection.h"
#include "automation/convert.h"
#include "automation/error.h"
#include "automation/guard.h"
#include "automation/registry.h"
#include "contracts/late_bound.h"
#include "contracts/macro_store_columns.h"
#include "xhtml/xhtml_document.h"

namespace tarvex::inspection {

using automation::Array;
using automation::byref;
using automation::call;
using automation::Error;
using automation::NullAs;
using automation::ObjectRef;
using automation::shared;
using automation::to_text;
using automation::Variant;
using contracts::column_index;
using contracts::MacroColumn;
using contracts::ProgressColumn;
using contracts::StepColumn;
using xhtml::XHTMLDocument;

namespace {

constexpr std::string_view kClass = "Examiner";
constexpr std::int32_t kTraceLevel = 4;
// A macro GUID that the store holds more than once.
constexpr std::int32_t kMacroRowCountError = automation::kObjectErrorBase + 964;

void trace(const std::string& message, std::string_view procedure) {
  std::int32_t level = kTraceLevel;
  shared<contracts::TraceUtility>().TraceMessage(message, level, automation::App()->project(),
                                                 std::string(kClass), std::string(procedure));
}

XHTMLDocument& document_of(const std::shared_ptr<XHTMLDocument>& report) {
  if (!report) automation::raise(automation::RuntimeError::ObjectNotSet);
  return *report;
}

// One row of cells, label first. Cells are built in place: a progress listing has a million.
template <class... Cells>
void add_row(XHTMLDocument& report, Cells&&... cells) {
  std::vector<Variant> row;
  row.reserve(sizeof...(Cells));
  (row.emplace_back(std::forward<Cells>(cells)), ...);
  report.AddSingleRowTableToBody(Array::of(std::move(row)));
}

void add_error_row(XHTMLDocument& report, std::string_view label, const Error& error) {
  add_row(report, label, error.description(), error.number(), error.source());
}

// Runs `body`; an error it raises goes to `write_error_row`. An error of `write_error_row`
// itself must leave the procedure without being logged there, so it is parked in `escaped` for
// the procedure to raise again once it is outside its own handler.
template <class F, class W>
void with_error_row(F&& body, W&& write_error_row, std::exception_ptr& escaped) {
  automation::handle_errors(std::forward<F>(body), [&](const Error& error) {
    try {
      write_error_row(error);
    } catch (...) {
      escaped = std::current_exception();
    }
  });
}

std::string duration_text(const Variant& start, const Variant& end) {
  auto& dates = shared<contracts::DateTimeUtility>();
  return dates.DurationText(dates.DurationBetween(to_text(start), to_text(end)));
}

std::string progress_text(const Variant& figure) {
  return automation::number_text(automation::round_half_even(automation::to_double(figure), 2)) +
         "%";
}

// The progress messages of one step: a paragraph, the label row and one row per message. The
// cells are moved out of `progress` into the rows: a listing can hold a million messages.
void report_step_progress(XHTMLDocument& report, Variant& progress) {
  if (progress.is_empty()) {
    report.AddBodyParagraph("No Macro Step progress found");
    return;
  }
  report.AddBodyParagraph("Macro Step progress found");
  add_row(report, "Level", "Date Time", "Progress", "Message", "Component", "Module", "Procedure");
  auto& arrays = shared<contracts::ArrayUtility>();
  auto& levels = shared<contracts::TraceUtility>();
  const std::int32_t last = arrays.RowUpperBound(progress);
  const std::int32_t first = arrays.RowLowerBound(progress);
  for (std::int64_t p = first; p <= last; ++p) {
    Array& table = progress.as_array();
    auto cell = [&](ProgressColumn column) -> Variant& {
      return table.at(column_index(column), static_cast<std::int32_t>(p));
    };
    std::string level = levels.LevelName(automation::to_long(cell(ProgressColumn::Level)));
    std::string figure = progress_text(cell(ProgressColumn::Progress));
    add_row(report, std::move(level), std::move(cell(ProgressColumn::LoggedAt)), std::move(figure),
            std::move(cell(ProgressColumn::Message)), std::move(cell(ProgressColumn::Component)),
            std::move(cell(ProgressColumn::Module)), std::move(cell(ProgressColumn::Procedure)));
  }
}

}  // namespace

void Examiner::ConnectionDocument(std::shared_ptr<contracts::ConnectionDocument> NewDocument) {
  automation::guarded({kClass, "ConnectionDocument"},
                      [&] { connection_document_ = std::move(NewDocument); });
}

ObjectRef Examiner::LazyMacroHelper() {
  return automation::guarded<ObjectRef>({kClass, "LazyMacroHelper"}, [&](ObjectRef& result) {
    if (!macro_helper_) {
      auto factory = automation::create_new<contracts::ObjectFactory>();
      trace("Instantiating Job Helper", "LazyMacroHelper");
      macro_helper_ =
          factory->CreateVersionedObject(std::string(contracts::kMacroHelperProgIdTemplate));
    }
    result = macro_helper_;
  });
}

Variant Examiner::GetMacroGUIDs(
    const std::shared_ptr<contracts::ConnectionDocument>& oConnectionDocument) {
  return automation::guarded<Variant>({kClass, "GetMacroGUIDs"}, [&](Variant& result) {
    auto guids = automation::Collection::create();
    Variant document(oConnectionDocument);
    const Variant macros = call(LazyMacroHelper(), "MacroRead", byref(document));
    if (macros.is_empty()) return;
    auto& arrays = shared<contracts::ArrayUtility>();
    if (arrays.RowCount(macros) == 0) return;
    const std::int32_t last = arrays.RowUpperBound(macros);
    const std::int32_t first = arrays.RowLowerBound(macros);
    for (std::int64_t r = first; r <= last; ++r) {
      guids->add(
          macros.as_array().at(column_index(MacroColumn::Guid), static_cast<std::int32_t>(r)));
    }
    trace(std::to_string(guids->count()) + " Macros found", "GetMacroGUIDs");
    result = arrays.CollectionToArray(guids);
  });
}

void Examiner::ReportOnMacro(std::shared_ptr<XHTMLDocument> oReport, std::string sMacroGUID,
                             bool ReportMacroStepProgress) {
  std::exception_ptr escaped;
  // Nothing can fail before the error row takes over, so the common handler never logs here.
  automation::guarded({kClass, "ReportOnMacro"}, [&] {
    with_error_row(
        [&] {
          XHTMLDocument& report = document_of(oReport);
          Variant document(connection_document_);
          Variant guid(sMacroGUID);
          const Variant macro = call(LazyMacroHelper(), "MacroRead", byref(document), byref(guid));
          auto& arrays = shared<contracts::ArrayUtility>();
          const std::int32_t rows = arrays.RowCount(macro);
          if (rows == 0) {
            report.AddBodyHeader("The Macro GUID '" + sMacroGUID + "' was not found", 1);
            return;
          }
          if (rows != 1) {
            throw Error(
                kMacroRowCountError,
                automation::qualified_name(automation::App()->project(), kClass, "ReportOnMacro"),
                "The Macro GUID '" + sMacroGUID + "' returned " +
                    std::to_string(arrays.RowCount(macro)) + " rows");
          }
          const Array& record = macro.as_array();
          auto column = [&](MacroColumn c) -> const Variant& {
            return record.at(column_index(c), 0);
          };
          using enum MacroColumn;

          trace("Reporting on Macro '" + to_text(column(Guid), NullAs::EmptyText) + "'",
                "ReportOnMacro");
          report.AddBodyHeader(to_text(column(Name), NullAs::EmptyText) + " - " +
                                   to_text(column(RunState), NullAs::EmptyText),
                               3);
          add_row(report, "GUID ", sMacroGUID);
          add_row(report, "Edit State ", column(EditState));
          add_row(report, "Run State ", column(RunState));
          add_row(report, "Next Macro Item", column(NextItem));
          if (!to_text(column(ExecutionCommand), NullAs::EmptyText).empty()) {
            add_row(report, "Execution Command", column(ExecutionCommand));
          }
          if (!column(FailureNote).is_null()) {
            add_row(report, "Failure note",
                    "<preserve>" + to_text(column(FailureNote)) + "</preserve>");
          }
          const Variant& last_start = column(LastStart);
          const Variant& last_completion = column(LastCompletion);
          const bool both_times = !last_start.is_null() && !last_completion.is_null();
          const Variant not_specified("Not specified");
          const Variant& start = last_start.is_null() ? not_specified : last_start;
          const Variant& end = last_completion.is_null() ? not_specified : last_completion;
          add_row(report, "Start", start);
          add_row(report, "Last Completion", end);
          if (both_times) add_row(report, "Duration", duration_text(start, end));
          ReportOnMacroSteps(oReport, sMacroGUID, ReportMacroStepProgress);
        },
        [&](const Error& error) {
          add_error_row(document_of(oReport), "Error reporting on macro", error);
        },
        escaped);
  });
  if (escaped) std::rethrow_exception(escaped);
}

void Examiner::ReportOnMacros(const ObjectRef& oReport, bool ReportMacroStepProgress) {
  automation::guarded({kClass, "ReportOnMacros"}, [&](std::int32_t& line) {
    line = 100;
    call(oReport, "AddBodyHeader", "Macros", std::int32_t{2});
    line = 110;
    const Variant guids = GetMacroGUIDs(connection_document_);
    line = 120;
    if (guids.is_empty()) {
      line = 130;
      call(oReport, "AddBodyParagraph", "No Macro found");
      return;
    }
    line = 140;
    auto& arrays = shared<contracts::ArrayUtility>();
    const std::int32_t count = arrays.RowCount(guids);
    line = 150;
    call(oReport, "AddBodyParagraph", "Found " + std::to_string(count) + " Macro(s)");
    line = 160;
    const std::int32_t last = arrays.RowUpperBound(guids);
    line = 170;
    const std::int32_t first = arrays.RowLowerBound(guids);
    line = 180;
    for (std::int64_t k = first; k <= last; ++k) {
      line = 190;
      auto report = automation::object_as<XHTMLDocument>(oReport);
      std::string guid = to_text(guids.as_array().at(static_cast<std::int32_t>(k)));
      ReportOnMacro(std::move(report), std::move(guid), ReportMacroStepProgress);
    }
  });
}

void Examiner::ReportOnMacroSteps(const std::shared_ptr<XHTMLDocument>& oReport,
                                  const std::string& sMacroGUID, bool ReportMacroStepProgress) {
  std::exception_ptr escaped;
  automation::guarded({kClass, "ReportOnMacroSteps"}, [&](std::int32_t& line) {
    constexpr std::string_view kProcedure = "ReportOnMacroSteps";
    line = 100;
    trace("Reviewing Macro Steps", kProcedure);
    line = 110;
    XHTMLDocument& report = document_of(oReport);
    report.AddBodyHeader("Macro Step Details for Macro " + sMacroGUID, 4);
    line = 120;
    Variant document(connection_document_);
    Variant guid(sMacroGUID);
    Variant steps =
        call(LazyMacroHelper(), "MacroStepReadInformationForMacro", byref(document), byref(guid));
    line = 130;
    if (steps.is_empty()) {
      line = 140;
      report.AddBodyParagraph("No Macro Steps found");
      return;
    }
    line = 150;
    auto& arrays = shared<contracts::ArrayUtility>();
    trace("Found " + std::to_string(arrays.RowCount(steps)) + " Macro Steps", kProcedure);
    line = 160;
    report.AddBodyParagraph(std::to_string(arrays.RowCount(steps)) + " Macro Step(s) found");
    line = 170;
    const std::int32_t last = arrays.RowUpperBound(steps);
    line = 180;
    const std::int32_t first = arrays.RowLowerBound(steps);
    line = 190;
    for (std::int64_t r = first; r <= last; ++r) {
      const auto row = static_cast<std::int32_t>(r);
      with_error_row(
          [&] {
            Array& table = steps.as_array();
            auto cell = [&](StepColumn column) -> Variant& {
              return table.at(column_index(column), row);
            };
            report.AddBodyHeader(to_text(cell(StepColumn::Heading)), 5);
            add_row(report, "GUID", cell(StepColumn::Guid));
            add_row(report, "Edit State", cell(StepColumn::EditState));
            add_row(report, "Run State", cell(StepColumn::RunState));
            const Variant& start = cell(StepColumn::Started);
            const Variant& end = cell(StepColumn::Ended);
            if (!start.is_null()) add_row(report, "Start", start);
            if (!end.is_null()) add_row(report, "End", end);
            if (!start.is_null() && !end.is_null()) {
              add_row(report, "Duration", duration_text(start, end));
            }
            add_row(report, "Progress", cell(StepColumn::Progress));
            const std::string note =
                to_text(cell(StepColumn::ValidationFailureNote), NullAs::EmptyText);
            if (!note.empty()) {
              add_row(report, "Validation Failure Note", "<preserve>" + note + "</preserve>");
            }
            if (ReportMacroStepProgress) {
              Variant progress = call(LazyMacroHelper(), "MacroStepProgressRead", byref(document),
                                      byref(cell(StepColumn::Guid)));
              report_step_progress(report, progress);
            }
          },
          [&](const Error& error) {
            add_error_row(report, "Error reporting on macro step", error);
          },
          escaped);
      if (escaped) return;
    }
  });
  if (escaped) std::rethrow_exception(escaped);
}

}  // namespace tarvex::inspection
