// Examiner against a scripted macro database helper: the macro, step and progress sections as
// they come out of a saved report, the trace lines, and which failures become error rows and
// which are logged and raised again.
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

Record progress_record(Variant level, Variant figure, const std::string& message) {
  return {1, at(11, 0, 1), message, std::move(figure), std::move(level), "Comp", "Mod", "Proc"};
}

constexpr std::int32_t kStoreError = kObjectErrorBase + 77;
constexpr std::int32_t kRefused = kObjectErrorBase + 5;
const std::string kStoreGone = "tr:Error reporting on macro|store gone|" +
                               std::to_string(kStoreError) + "|Stepstore_83.Helper";
const std::string kRowRefused =
    "tr:Error reporting on macro|row refused|" + std::to_string(kRefused) + "|Test.Arrays";

// What the helper will answer, and what it was asked.
struct Script {
  Variant macro_list;
  std::map<std::string, Variant> macros, steps, progress;
  std::string fail_on;  // a call, as recorded, that raises instead of answering
  Items calls;
  std::vector<ObjectRef> documents;
  int created = 0;
  int count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
  }
};

class ScriptedHelper : public Object {
 public:
  explicit ScriptedHelper(Script& script) : script_(script) {}
  Variant invoke(std::string_view member, CallKind, Args& args) override {
    script_.documents.push_back(args[0].as_object());
    std::string key = args.has(1) ? to_text(args[1]) : std::string();
    std::string call = std::string(member) + "(" + key + ")";
    script_.calls.push_back(call);
    if (call == script_.fail_on) throw Error(kStoreError, "Stepstore_83.Helper", "store gone");
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

// The real row counting; keeps every row the document measures, and fails a row whose first
// cell is `refuse_row`.
class ObservedArrays : public companions::utilities::ArrayUtilityImpl {
 public:
  std::vector<Array> measured;
  std::string refuse_row;
  int row_calls = 0;
  std::int32_t RowCount(const Variant& v) override {
    ++row_calls;
    return ArrayUtilityImpl::RowCount(v);
  }
  std::int32_t ElementCount(const Variant& v) override {
    const Array& row = v.as_array();
    if (row.size() > 0 && to_text(row.at(0), NullAs::EmptyText) == refuse_row) {
      throw Error(kRefused, "Test.Arrays", "row refused");
    }
    measured.push_back(row);
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
  ScopedProgId helper_scope{"Stepstore_83.Helper", [this] {
                              ++script.created;
                              return std::make_shared<ScriptedHelper>(script);
                            }};
  std::shared_ptr<TestConnection> connection = std::make_shared<TestConnection>();
  Examiner examiner = [this] {
    Examiner e;
    e.ConnectionDocument(connection);
    return e;
  }();
};

TEST_F(ExaminerTest, macro_guids_come_back_as_the_helper_delivered_them) {
  Array from_five({{0, 8}, {5, 6}});  // rows numbered from 5
  from_five.at(0, 5) = "a";
  from_five.at(0, 6) = "b";
  struct Case {
    const char* name;
    Variant macros;
    std::vector<Variant> guids;  // none: the empty value, and no count line
  };
  const Case cases[] = {
      {"nothing found", Variant(), {}},
      {"no rows", table(9, {}), {}},
      {"one row", table(9, {{"g1", "x"}}), {"g1"}},
      {"repeated guid", table(9, {{"g"}, {"g"}}), {"g", "g"}},
      {"null guid", table(9, {{Null{}}, {7}}), {Null{}, 7}},
      {"rows from five", Variant(from_five), {"a", "b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    trace->lines.clear();
    script.macro_list = c.macros;
    Variant result = examiner.GetMacroGUIDs(connection);
    Items counts;
    for (const auto& line : trace->lines) {
      if (starts_with(line, "GetMacroGUIDs: ")) counts.push_back(line.substr(15));
    }
    if (c.guids.empty()) {
      EXPECT_TRUE(result.is_empty());
      EXPECT_TRUE(counts.empty());
      continue;
    }
    const Array& list = result.as_array();
    ASSERT_EQ(list.bounds(1).count(), static_cast<std::int64_t>(c.guids.size()));
    for (std::size_t i = 0; i < c.guids.size(); ++i) {
      const Variant& got = list.at(list.bounds(1).lower + static_cast<std::int32_t>(i));
      EXPECT_EQ(got.kind(), c.guids[i].kind());
      if (!got.is_null()) {
        EXPECT_EQ(to_text(got), to_text(c.guids[i]));
      }
    }
    EXPECT_EQ(counts, Items{std::to_string(c.guids.size()) + " Macros found"});
  }
  // One helper for every call of one Examiner, another for another Examiner.
  EXPECT_EQ(script.created, 1);
  for (const ObjectRef& document : script.documents) EXPECT_EQ(document, connection);
  Examiner().GetMacroGUIDs(connection);
  EXPECT_EQ(script.created, 2);
  EXPECT_EQ(trace->lines.back(), "GetMacroGUIDs: 2 Macros found");
}

TEST_F(ExaminerTest, a_helper_that_cannot_be_created_is_logged_twice_and_tried_again) {
  ScopedProgId broken("Stepstore_83.Helper",
                      []() -> ObjectRef { raise(RuntimeError::CannotCreateObject); });
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(test_support::error_number_of([&] { examiner.GetMacroGUIDs(connection); }), 429);
  }
  EXPECT_EQ(logged(), (Items{"LazyMacroHelper@0:429", "GetMacroGUIDs@0:429",
                             "LazyMacroHelper@0:429", "GetMacroGUIDs@0:429"}));
  EXPECT_EQ(trace->lines, (Items(2, "LazyMacroHelper: Instantiating Job Helper")));

  // Reporting one macro turns the same failure into its error row, logged only where it began.
  log.entries.clear();
  EXPECT_EQ(report_on_macro("g1", false),
            (Items{"tr:Error reporting on macro|" + std::string(runtime_description(429)) +
                   "|429|Tarvex_83"}));
  EXPECT_EQ(logged(), Items{"LazyMacroHelper@0:429"});
}

TEST_F(ExaminerTest, a_listed_macro_the_helper_cannot_read_gets_a_not_found_header) {
  script.macro_list = table(9, {{"zz"}, {"aa"}});
  EXPECT_EQ(report_on_macros(true),
            (Items{"h2:Macros", "p:Found 2 Macro(s)", "h1:The Macro GUID 'zz' was not found",
                   "h1:The Macro GUID 'aa' was not found"}));
  EXPECT_TRUE(logged().empty());
}

TEST_F(ExaminerTest, a_macro_section_holds_the_rows_that_apply) {
  const std::string start = "tr:Start|2026-03-01 10:00:00";
  const std::string completion = "tr:Last Completion|2026-03-01 10:05:30";
  const std::string duration = "tr:Duration|until 10:05:30";
  const std::string edited = "tr:Edit State |Edited", done = "tr:Run State |Done",
                    next = "tr:Next Macro Item|Step 2";
  struct Case {
    const char* name;
    std::function<void(Record&)> change;
    Items expected;  // after the GUID row
  };
  const Case cases[] = {
      {"empty command, empty note",
       [](auto& m) { m[7] = m[8] = ""; },
       {edited, done, next, "tr:Failure note|[pre]", start, completion, duration}},
      {"blank command",
       [](auto& m) { m[7] = Null{}, m[8] = " "; },
       {edited, done, next, "tr:Execution Command| ", start, completion, duration}},
      {"null states",
       [](auto& m) { m[7] = m[8] = m[2] = m[4] = Null{}; },
       {"tr:Edit State |", done, "tr:Next Macro Item|", start, completion, duration}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dates->between.clear();
    Record record = macro_record("g1");
    c.change(record);
    script.macros["g1"] = table(9, {record});
    Items expected = {"h3:Nightly - Done", "tr:GUID |g1"};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    expected.insert(expected.end(),
                    {"h4:Macro Step Details for Macro g1", "p:No Macro Steps found"});
    EXPECT_EQ(report_on_macro("g1", false), expected);
    const bool timed = std::find(expected.begin(), expected.end(), duration) != expected.end();
    EXPECT_EQ(dates->between, timed ? Items{"2026-03-01 10:00:00..2026-03-01 10:05:30"} : Items{});
  }
}

TEST_F(ExaminerTest, a_macro_header_and_trace_join_nulls_as_empty_text) {
  Record record = macro_record("stored-guid");
  record[1] = record[3] = Null{};
  script.macros["g1"] = table(9, {record});
  Items items = report_on_macro("g1", false);
  ASSERT_GE(items.size(), 4u);
  // The GUID row shows the argument, the trace line the stored column.
  EXPECT_EQ(Items(items.begin(), items.begin() + 4),
            (Items{"h3: - ", "tr:GUID |g1", "tr:Edit State |Edited", "tr:Run State |"}));
  record[0] = Null{};
  script.macros["g1"] = table(9, {record});
  report_on_macro("g1", false);
  EXPECT_EQ(trace->lines, (Items{"LazyMacroHelper: Instantiating Job Helper",
                                 "ReportOnMacro: Reporting on Macro 'stored-guid'",
                                 "ReportOnMacroSteps: Reviewing Macro Steps",
                                 "ReportOnMacro: Reporting on Macro ''",
                                 "ReportOnMacroSteps: Reviewing Macro Steps"}));
}

TEST_F(ExaminerTest, a_macro_that_fails_becomes_an_error_row_and_the_report_goes_on) {
  script.macro_list = table(9, {{"broken"}, {"g1"}});
  script.macros["g1"] = table(9, {macro_record("g1")});
  script.fail_on = "MacroRead(broken)";
  Items items = report_on_macros(false);
  ASSERT_GE(items.size(), 4u);
  EXPECT_EQ(Items(items.begin() + 1, items.begin() + 4),
            (Items{"p:Found 2 Macro(s)", kStoreGone, "h3:Nightly - Done"}));
  EXPECT_TRUE(logged().empty());
  // The error number reaches the document as a number, not as text.
  int error_rows = 0;
  for (const Array& row : arrays->measured) {
    if (row.size() == 4 && to_text(row.at(0)) == "Error reporting on macro") {
      ++error_rows;
      EXPECT_EQ(row.at(2).kind(), Kind::Long);
    }
  }
  EXPECT_EQ(error_rows, 1);
}

TEST_F(ExaminerTest, a_step_section_holds_the_rows_that_apply) {
  const std::string start = "tr:Start|2026-03-01 11:00:00";
  const std::string end = "tr:End|2026-03-01 11:00:42";
  const std::string duration = "tr:Duration|until 11:00:42";
  const std::string progress = "tr:Progress|100%";
  struct Case {
    const char* name;
    std::function<void(Record&)> change;
    Items expected;  // after the Run State row
  };
  const Case cases[] = {
      {"empty note", [](auto& s) { s[10] = ""; }, {start, end, duration, progress}},
      {"no start", [](auto& s) { s[6] = Null{}; }, {end, progress}},
      {"no end", [](auto& s) { s[7] = Null{}; }, {start, progress}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dates->between.clear();
    Record step = step_record("s1", "Copy files");
    c.change(step);
    Items expected = {"p:1 Macro Step(s) found", "h5:Copy files", "tr:GUID|s1",
                      "tr:Edit State|Edited", "tr:Run State|Done"};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    EXPECT_EQ(step_section({step}, false), expected);
    // The macro's own duration is taken first.
    const bool timed = std::find(expected.begin(), expected.end(), duration) != expected.end();
    EXPECT_EQ(Items(dates->between.begin() + 1, dates->between.end()),
              timed ? Items{"2026-03-01 11:00:00..2026-03-01 11:00:42"} : Items{});
  }
}

TEST_F(ExaminerTest, an_empty_step_table_is_counted_and_no_table_is_not) {
  EXPECT_EQ(step_section({}, true), Items{"p:0 Macro Step(s) found"});
  EXPECT_EQ(trace->lines.back(), "ReportOnMacroSteps: Found 0 Macro Steps");

  script.steps.erase("g1");
  arrays->row_calls = 0;
  EXPECT_EQ(report_on_macro("g1", true).back(), "p:No Macro Steps found");
  EXPECT_EQ(arrays->row_calls, 1);  // the macro's own row count only
  EXPECT_EQ(trace->lines.back(), "ReportOnMacroSteps: Reviewing Macro Steps");
}

TEST_F(ExaminerTest, step_progress_takes_levels_and_figures_as_any_number) {
  const std::string labels = "tr:Level|Date Time|Progress|Message|Component|Module|Procedure";
  auto row = [](const std::string& level, const std::string& figure, const std::string& message) {
    return "tr:" + level + "|2026-03-01 11:00:01|" + figure + "|" + message + "|Comp|Mod|Proc";
  };
  struct Case {
    const char* name;
    Variant progress;
    Items expected;  // after the step's Progress row
  };
  const Case cases[] = {
      {"no rows", table(8, {}), {"p:Macro Step progress found", labels}},
      {"level and figure as text or fraction",
       table(8, {progress_record("4", 0.125, "d"), progress_record(2.5, "0.135", "e")}),
       {"p:Macro Step progress found", labels, row("L4", "0.12%", "d"), row("L2", "0.14%", "e")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    script.progress["s1"] = c.progress;
    script.calls.clear();
    Items section = step_section({step_record("s1", "Copy"), step_record("s2", "Next")}, true);
    auto progress_row = std::find(section.begin(), section.end(), "tr:Progress|100%");
    auto next_step = std::find(section.begin(), section.end(), "h5:Next");
    ASSERT_TRUE(progress_row < next_step && next_step != section.end());
    EXPECT_EQ(Items(progress_row + 1, next_step), c.expected);
    EXPECT_EQ(section.back(), "p:No Macro Step progress found");
    EXPECT_EQ(script.calls, (Items{"MacroRead(g1)", "MacroStepReadInformationForMacro(g1)",
                                   "MacroStepProgressRead(s1)", "MacroStepProgressRead(s2)"}));
  }
}

TEST_F(ExaminerTest, failures_outside_the_steps_are_logged_and_become_the_macros_error_row) {
  script.macros["g1"] = table(9, {macro_record("g1")});
  script.fail_on = "MacroStepReadInformationForMacro(g1)";
  Items items = report_on_macro("g1", false);
  EXPECT_EQ(logged(), Items{"ReportOnMacroSteps@120:" + std::to_string(kStoreError)});
  ASSERT_GE(items.size(), 2u);
  EXPECT_EQ(Items(items.end() - 2, items.end()),
            (Items{"h4:Macro Step Details for Macro g1", kStoreGone}));
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

// Offers the two members ReportOnMacros calls by name, but is no XHTMLDocument.
class NamedOnlyDocument : public Object {
 public:
  Variant invoke(std::string_view member, CallKind, Args&) override {
    if (member != "AddBodyHeader" && member != "AddBodyParagraph") raise_unknown_member(member);
    return {};
  }
};

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
      {"document known only by name", [] {}, 13, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    script = Script{table(9, {{"g1"}, {"g2"}, {"g3"}}), {}, {}, {}, "", {}, {}, 0};
    script.macros["g1"] = script.macros["g2"] = table(9, {macro_record("g1")});
    arrays->refuse_row.clear();
    log.entries.clear();
    c.arrange();
    auto document = xhtml::XHTMLDocument::create();
    ObjectRef target =
        c.report.empty() ? ObjectRef(std::make_shared<NamedOnlyDocument>()) : ObjectRef(document);
    EXPECT_EQ(test_support::error_number_of([&] { examiner.ReportOnMacros(target, false); }),
              c.number);
    EXPECT_EQ(logged(), Items{"ReportOnMacros@190:" + std::to_string(c.number)});
    EXPECT_EQ(script.count("MacroRead(g2)"), 0);
    if (!c.report.empty()) {
      Items body = body_of(*document);
      EXPECT_EQ(Items(body.begin(), body.begin() + std::min(body.size(), c.report.size())),
                c.report);
    }
  }
}

TEST_F(ExaminerTest, a_whole_report_reads_the_last_document_set_through_one_helper) {
  auto other = std::make_shared<TestConnection>();
  examiner.ConnectionDocument(other);
  script.macro_list = table(9, {{"g1"}});
  script.macros["g1"] = table(9, {macro_record("g1")});
  script.steps["g1"] = table(11, {step_record("s1", "One"), step_record("s2", "Two")});
  report_on_macros(true);
  EXPECT_EQ(script.created, 1);
  for (const ObjectRef& document : script.documents) EXPECT_EQ(document, other);
}

}  // namespace
}  // namespace tarvex::inspection
