// Examiner against a scripted macro database helper: what the end-to-end report cannot stage
// (answers no store gives, a helper or a document that fails), and which failures become error
// rows and which are logged and raised again.
#include "inspection/examiner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "automation/convert.h"
#include "automation/error.h"
#include "automation/registry.h"
#include "automation/text.h"
#include "companions/registration.h"
#include "companions/utilities/array_utility.h"
#include "contracts/companions.h"
#include "support/report_reader.h"
#include "support/test_support.h"
#include "xhtml/xhtml_document.h"

namespace tarvex::inspection {
namespace {

using namespace automation;
using Items = std::vector<std::string>;
using Record = std::vector<Variant>;

// A (columns x rows) table as the helper hands it out; short rows leave their last cells empty.
Variant table(std::int32_t columns, const std::vector<Record>& rows) {
  Array a = Array::table(columns, static_cast<std::int32_t>(rows.size()));
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      a.at(static_cast<std::int32_t>(c), static_cast<std::int32_t>(r)) = rows[r][c];
    }
  }
  return Variant(std::move(a));
}

Variant at(int hour, int minute, int second) {
  return Variant(make_date_time(2026, 3, 1, static_cast<unsigned>(hour),
                                static_cast<unsigned>(minute), static_cast<unsigned>(second)));
}

// 0 guid, 1 name, 2 edit state, 3 run state, 4 next item, 5 start, 6 completion, 7 failure
// note, 8 execution command.
Record macro_record(const std::string& guid) {
  return {guid,         "Nightly",     "Edited",    "Done",  "Step 2",
          at(10, 0, 0), at(10, 5, 30), "disk full", "run.sh"};
}

// 0 guid, 2 heading, 4 edit state, 5 run state, 6 start, 7 end, 9 progress, 10 note.
Record step_record(const std::string& guid, Variant heading) {
  return {guid,   "g1",         std::move(heading), "copy", "Edited",
          "Done", at(11, 0, 0), at(11, 0, 42),      1,      "100%",
          Null{}};
}

constexpr std::int32_t kRefused = kObjectErrorBase + 5;
const std::string kRowRefused =
    "tr:Error reporting on macro|row refused|" + std::to_string(kRefused) + "|Test.Arrays";

// What the helper will answer, and what it was asked.
struct Script {
  Variant macro_list;
  std::map<std::string, Variant> macros, steps, progress;
  std::string fail_on;  // a call, as recorded, that raises instead of answering
  Items calls;
  int count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
  }
};

class ScriptedHelper : public Object {
 public:
  explicit ScriptedHelper(Script& script) : script_(script) {}
  Variant invoke(std::string_view member, CallKind, Args& args) override {
    std::string key = args.has(1) ? to_text(args[1]) : std::string();
    std::string call = std::string(member) + "(" + key + ")";
    script_.calls.push_back(call);
    if (call == script_.fail_on)
      throw Error(kObjectErrorBase + 77, "Stepstore_83.Helper", "store gone");
    auto find = [&](const std::map<std::string, Variant>& answers) {
      auto it = answers.find(key);
      return it == answers.end() ? Variant() : it->second;
    };
    if (member == "MacroRead") return args.size() == 1 ? script_.macro_list : find(script_.macros);
    if (member == "MacroStepReadInformationForMacro") return find(script_.steps);
    if (member == "MacroStepProgressRead") return find(script_.progress);
    raise_unknown_member(member);
  }

 private:
  Script& script_;
};

class RecordingTrace : public contracts::TraceUtility {
 public:
  Items lines;  // "procedure: message"
  void TraceMessage(const std::string& message, std::int32_t& level, const std::string& project,
                    const std::string& class_name, const std::string& procedure) override {
    EXPECT_EQ(level, 4);
    EXPECT_EQ(project, "Tarvex_83");
    EXPECT_EQ(class_name, "Examiner");
    lines.push_back(procedure + ": " + message);
  }
  std::string VersionText(const ObjectRef&) override { return "1.0"; }
  std::string LevelName(std::int32_t level) override { return "L" + std::to_string(level); }
};

// The real row counting; fails a row whose first cell is `refuse_row`.
class ObservedArrays : public companions::utilities::ArrayUtilityImpl {
 public:
  std::string refuse_row;
  std::int32_t ElementCount(const Variant& v) override {
    const Array& row = v.as_array();
    if (row.size() > 0 && to_text(row.at(0), NullAs::EmptyText) == refuse_row) {
      throw Error(kRefused, "Test.Arrays", "row refused");
    }
    return ArrayUtilityImpl::ElementCount(v);
  }
};

class RecordingDates : public contracts::DateTimeUtility {
 public:
  Items between;
  std::string CurrentTimestampText() override { return "now"; }
  Variant DurationBetween(const std::string& start, const std::string& end) override {
    between.push_back(start + ".." + end);
    return Variant(end.substr(11));
  }
  std::string DurationText(const Variant& duration) override {
    return "until " + to_text(duration);
  }
};

class TestConnection : public contracts::ConnectionDocument {
 public:
  void LoadDocument(const std::string&) override {}
  std::string LocationName() override { return "SRV"; }
  std::string ApplicationContainerName() override { return "Sales"; }
  std::string ConnectionString(bool) override { return "Driver=SQLite"; }
};

class ExaminerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { companions::register_companions(); }

  Items body_of(xhtml::XHTMLDocument& document) {
    document.Save(dir.file("report.xhtml"));
    return test_support::read_report(dir.file("report.xhtml")).body;
  }
  Items report_on_macros(bool progress) {
    auto document = xhtml::XHTMLDocument::create();
    examiner.ReportOnMacros(document, progress);
    return body_of(*document);
  }
  Items report_on_macro(const std::string& guid, bool progress) {
    auto document = xhtml::XHTMLDocument::create();
    examiner.ReportOnMacro(document, guid, progress);
    return body_of(*document);
  }
  // The step section of macro "g1", whose record is complete, with the given steps.
  Items step_section(const std::vector<Record>& steps, bool progress) {
    script.macros["g1"] = table(9, {macro_record("g1")});
    script.steps["g1"] = table(11, steps);
    Items items = report_on_macro("g1", progress);
    auto header = std::find(items.begin(), items.end(), "h4:Macro Step Details for Macro g1");
    EXPECT_NE(header, items.end());
    return Items(header == items.end() ? header : header + 1, items.end());
  }
  Items logged() const { return log.of("Examiner"); }

  test_support::ScratchDir dir;
  test_support::ErrorLog log;
  Script script;
  std::shared_ptr<RecordingTrace> trace = std::make_shared<RecordingTrace>();
  std::shared_ptr<ObservedArrays> arrays = std::make_shared<ObservedArrays>();
  std::shared_ptr<RecordingDates> dates = std::make_shared<RecordingDates>();
  ScopedShared<contracts::TraceUtility> trace_scope{trace};
  ScopedShared<contracts::ArrayUtility> arrays_scope{arrays};
  ScopedShared<contracts::DateTimeUtility> dates_scope{dates};
  ScopedProgId helper_scope{"Stepstore_83.Helper",
                            [this] { return std::make_shared<ScriptedHelper>(script); }};
  std::shared_ptr<TestConnection> connection = std::make_shared<TestConnection>();
  Examiner examiner = [this] {
    Examiner e;
    e.ConnectionDocument(connection);
    return e;
  }();
};

TEST_F(ExaminerTest, a_step_section_holds_the_rows_that_apply_and_progress_of_any_number) {
  const std::string labels = "tr:Level|Date Time|Progress|Message|Component|Module|Procedure";
  Record no_start = step_record("s1", "One"), no_end = step_record("s2", "Two");
  no_start[6] = Null{};
  no_end[7] = Null{};
  // A progress row: its time, message, figure and level, then where it came from.
  script.progress["s1"] = table(8, {{1, at(11, 0, 1), "d", "0.135", "4", "Comp", "Mod", "Proc"}});
  EXPECT_EQ(step_section({no_start, no_end}, true),
            (Items{"p:2 Macro Step(s) found", "h5:One", "tr:GUID|s1", "tr:Edit State|Edited",
                   "tr:Run State|Done", "tr:End|2026-03-01 11:00:42", "tr:Progress|100%",
                   "p:Macro Step progress found", labels,
                   "tr:L4|2026-03-01 11:00:01|0.14%|d|Comp|Mod|Proc", "h5:Two", "tr:GUID|s2",
                   "tr:Edit State|Edited", "tr:Run State|Done", "tr:Start|2026-03-01 11:00:00",
                   "tr:Progress|100%", "p:No Macro Step progress found"}));
  EXPECT_EQ(dates->between.size(), 1u);  // the macro's own duration only
  EXPECT_EQ(trace->lines, (Items{"LazyMacroHelper: Instantiating Job Helper",
                                 "ReportOnMacro: Reporting on Macro 'g1'",
                                 "ReportOnMacroSteps: Reviewing Macro Steps",
                                 "ReportOnMacroSteps: Found 2 Macro Steps"}));
}

// A GUID the store holds twice is an error row; a macro that never completed has no duration,
// and one without an execution command no such row.
TEST_F(ExaminerTest, a_macro_section_shows_what_its_record_allows) {
  Record unfinished = macro_record("m");
  unfinished[6] = unfinished[7] = unfinished[8] = Null{};
  script.macros["m"] = table(9, {unfinished});
  script.macros["dup"] = table(9, {macro_record("dup"), macro_record("dup")});
  EXPECT_EQ(report_on_macro("m", false),
            (Items{"h3:Nightly - Done", "tr:GUID |m", "tr:Edit State |Edited", "tr:Run State |Done",
                   "tr:Next Macro Item|Step 2", "tr:Start|2026-03-01 10:00:00",
                   "tr:Last Completion|Not specified", "h4:Macro Step Details for Macro m",
                   "p:No Macro Steps found"}));
  EXPECT_EQ(report_on_macro("dup", false),
            Items{"tr:Error reporting on macro|The Macro GUID 'dup' returned 2 rows|-2147220540|"
                  "Tarvex_83.Examiner.ReportOnMacro"});
}

TEST_F(ExaminerTest, a_document_that_refuses_a_row_keeps_what_came_before) {
  arrays->refuse_row = "Run State ";
  script.macros["g1"] = table(9, {macro_record("g1")});
  EXPECT_EQ(report_on_macro("g1", false),
            (Items{"h3:Nightly - Done", "tr:GUID |g1", "tr:Edit State |Edited", kRowRefused}));
  EXPECT_EQ(script.count("MacroStepReadInformationForMacro(g1)"), 0);

  // A step's error row that cannot be written ends the step section, unlogged; the macro's own
  // error row follows.
  arrays->refuse_row = "Error reporting on macro step";
  EXPECT_EQ(step_section({step_record("s1", Null{}), step_record("s2", "Two")}, false),
            (Items{"p:2 Macro Step(s) found", kRowRefused}));
  EXPECT_TRUE(logged().empty());
}

TEST_F(ExaminerTest, failures_between_macros_end_the_report_logged_under_report_on_macros) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::int32_t number;
    Items report;  // the body written before the failure
  };
  const Items g1_reported = {"h2:Macros", "p:Found 3 Macro(s)", "h3:Nightly - Done"};
  const Case cases[] = {
      {"null guid in the list",
       [&] {
         script.macro_list = table(9, {{"g1"}, {Null{}}, {"g2"}});
       },
       94, g1_reported},
      {"error row refused",
       [&] {
         script.fail_on = "MacroRead(g1)";
         arrays->refuse_row = "Error reporting on macro";
       },
       kRefused,
       {"h2:Macros", "p:Found 3 Macro(s)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    script = Script{table(9, {{"g1"}, {"g2"}, {"g3"}}), {}, {}, {}, "", {}};
    script.macros["g1"] = script.macros["g2"] = table(9, {macro_record("g1")});
    arrays->refuse_row.clear();
    log.entries.clear();
    c.arrange();
    auto document = xhtml::XHTMLDocument::create();
    EXPECT_EQ(test_support::error_number_of([&] { examiner.ReportOnMacros(document, false); }),
              c.number);
    EXPECT_EQ(logged(), Items{"ReportOnMacros@190:" + std::to_string(c.number)});
    EXPECT_EQ(script.count("MacroRead(g2)"), 0);
    Items body = body_of(*document);
    EXPECT_EQ(Items(body.begin(), body.begin() + std::min(body.size(), c.report.size())), c.report);
  }
}

}  // namespace
}  // namespace tarvex::inspection
