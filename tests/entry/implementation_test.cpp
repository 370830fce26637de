// The plug-in class as the host sees it: method-name refusals, validation, the report run with
// its front matter and progress messages, step parameter conversions, and error logging; the
// companions whose answers matter are stand-ins.
#include "entry/implementation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "automation/app.h"
#include "automation/convert.h"
#include "automation/error.h"
#include "automation/registry.h"
#include "automation/text.h"
#include "companions/registration.h"
#include "contracts/companions.h"
#include "entry/bas_main.h"
#include "entry_doubles.h"
#include "support/report_reader.h"
#include "support/test_support.h"

namespace tarvex::entry {
namespace {

namespace fs = std::filesystem;
using namespace automation;
using Items = std::vector<std::string>;

constexpr std::int32_t kRefused = -2147220539;

using testing::Logger;
using testing::StepScript;

class ConnectionDocument : public contracts::ConnectionDocument {
 public:
  void LoadDocument(const std::string&) override {}
  std::string LocationName() override { return "SRV"; }
  std::string ApplicationContainerName() override { return "Sales"; }
  std::string ConnectionString(bool masked) override {
    return masked ? "Database=s.db;Password=********" : "Database=s.db;Password=x";
  }
};

// `fail_on` names a member that raises 5 instead of answering.
class RunEnvironment : public contracts::RunEnvironment {
 public:
  std::string fail_on;
  std::string AccountDomain() override { return read("AccountDomain", "DOM"); }
  std::string AccountName() override { return read("AccountName", "alice"); }
  std::string MachineDomain() override { return read("MachineDomain", "CORP"); }
  std::string MachineName() override { return read("MachineName", "host1"); }

 private:
  std::string read(const std::string& member, const std::string& value) {
    if (member == fail_on) raise(RuntimeError::InvalidProcedureCall);
    return value;
  }
};

class ConnectionInspector : public contracts::ConnectionInspector {
 public:
  std::function<ObjectRef(const std::string&)> from_text = [](const std::string&) {
    return std::make_shared<Object>();
  };
  std::function<std::string(const ObjectRef&)> describe = [](const ObjectRef&) {
    return "Connection Properties:\r\nDatabase: s.db";
  };
  Items texts;
  std::vector<bool> described_nothing;
  ObjectRef ConnectionFromText(const std::string& text) override {
    texts.push_back(text);
    return from_text(text);
  }
  std::string DescribeConnection(const ObjectRef& connection) override {
    described_nothing.push_back(connection == nullptr);
    return describe(connection);
  }
};

class MacroStepExporter : public contracts::MacroStepExporter {
 public:
  struct Call {
    ObjectRef document;
    std::string folder;
    ObjectRef logger;
  };
  std::vector<Call> calls;
  bool fail = false;
  void ExportMacroSteps(const ObjectRef& document, const std::string& folder,
                        const ObjectRef& logger) override {
    calls.push_back({document, folder, logger});
    if (fail) raise(RuntimeError::InvalidProcedureCall);
  }
};

// No macros, or one macro of one step; counts the progress reads.
class MacroHelper : public Object {
 public:
  bool one_macro = false;
  int progress_reads = 0;
  Variant invoke(std::string_view member, CallKind, Args&) override {
    if (member == "MacroStepProgressRead") ++progress_reads;
    if (member == "MacroRead" && one_macro) return row(9, {"G1", "Nightly"}, {5, 6, 7, 8});
    if (member == "MacroStepReadInformationForMacro")
      return row(11, {"S1", "G1", "Load"}, {6, 7, 10});
    return {};
  }

 private:
  static Variant row(std::int32_t columns, std::vector<Variant> first, std::vector<int> nulls) {
    Array table = Array::table(columns, 1);
    for (std::size_t c = 0; c < first.size(); ++c)
      table.at(static_cast<std::int32_t>(c), 0) = first[c];
    for (int c : nulls) table.at(c, 0) = Null{};
    return table;
  }
};

class ReportRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { companions::register_companions(); }
  ReportRun() {
    Main();
    script->parameters = {{"macrocontainerconnectiondocument", "<connection document/>"},
                          {"reportfolder", out},
                          {"reportmacrostepprogress", "False"}};
  }

  // Execute by member name, as the host calls it; the error it raises, if any.
  std::optional<Error> execute() {
    return test_support::error_of([&] { call(plugin, "Execute", script, logger); });
  }
  // The saved report, found where the first progress message says.
  test_support::SavedReport report() const {
    const std::string& text = logger->messages.at(0);
    const std::string prefix = "Saving report to '";
    EXPECT_EQ(text.substr(0, prefix.size()), prefix);
    return test_support::read_report(text.substr(prefix.size(), text.find("' [") - prefix.size()));
  }
  // The value cell of the front-matter row with `label`.
  std::string row(const std::string& label) const {
    for (const std::string& item : report().body) {
      if (starts_with(item, "tr:" + label + "|")) return item.substr(label.size() + 4);
    }
    ADD_FAILURE() << "no row " << label;
    return {};
  }

  test_support::ScratchDir dir;
  const std::string out = dir.file("out");
  test_support::ErrorLog log;
  std::vector<std::shared_ptr<ConnectionDocument>> documents;
  std::shared_ptr<RunEnvironment> environment = std::make_shared<RunEnvironment>();
  std::shared_ptr<ConnectionInspector> inspector = std::make_shared<ConnectionInspector>();
  std::shared_ptr<MacroStepExporter> exporter = std::make_shared<MacroStepExporter>();
  std::shared_ptr<MacroHelper> helper = std::make_shared<MacroHelper>();
  ScopedShared<contracts::ConnectionInspector> inspector_scope{inspector};
  ScopedNew<contracts::ConnectionDocument> documents_scope{[this] {
    documents.push_back(std::make_shared<ConnectionDocument>());
    return documents.back();
  }};
  ScopedNew<contracts::RunEnvironment> environment_scope{[this] { return environment; }};
  ScopedNew<contracts::MacroStepExporter> exporter_scope{[this] { return exporter; }};
  ScopedProgId helper_scope{"Stepstore_83.Helper", [this] { return helper; }};
  ObjectRef plugin = std::make_shared<Implementation>();
  std::shared_ptr<StepScript> script = std::make_shared<StepScript>();
  std::shared_ptr<Logger> logger = std::make_shared<Logger>();
};

TEST_F(ReportRun, refuses_every_method_name_but_tarvex) {
  for (const char* name : {"Tarvex", " tarvex", "tarvex ", "TARVEX", "", "otherstep"}) {
    SCOPED_TRACE(std::string("method name '") + name + "'");
    script->method_name = name;
    script->method_name_reads = 0;
    log.entries.clear();
    auto error = execute();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), kRefused);
    EXPECT_EQ(error->source(), "Tarvex_83.Implementation.Execute");
    EXPECT_EQ(error->description(),
              std::string("'") + name + "' is not handled by 'Tarvex_83.Implementation.Execute'");
    EXPECT_EQ(script->method_name_reads, 2);
    EXPECT_TRUE(documents.empty());
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].brief(), "Execute@0:" + std::to_string(kRefused));
    EXPECT_TRUE(logger->messages.empty());
  }
  EXPECT_FALSE(fs::exists(out));
}

TEST_F(ReportRun, validation_gives_a_new_empty_collection_every_time) {
  script->parameters.clear();  // parameters are never read
  for (ObjectRef argument : {ObjectRef(script), ObjectRef()}) {
    Variant structure = call(plugin, "ValidateStructure", argument);
    Variant content = call(plugin, "ValidateContent", argument);
    Variant again = call(plugin, "ValidateStructure", argument);
    EXPECT_EQ(to_long(get(structure, "Count")) + to_long(get(content, "Count")), 0);
    EXPECT_NE(structure.as_object(), content.as_object());
    EXPECT_NE(structure.as_object(), again.as_object());
  }
  EXPECT_TRUE(log.entries.empty());
}

TEST_F(ReportRun, writes_title_front_matter_and_macro_section_in_order) {
  DateTime before = now_local();
  ASSERT_FALSE(execute());
  DateTime after = now_local();

  test_support::SavedReport saved = report();
  const std::string prefix = "Macro Report on SRV.Sales at ";
  ASSERT_EQ(saved.title.substr(0, prefix.size()), prefix);
  auto stamp = parse_date_time(saved.title.substr(prefix.size()));
  ASSERT_TRUE(stamp) << saved.title;
  EXPECT_GE(stamp->local_seconds, before.local_seconds);
  EXPECT_LE(stamp->local_seconds, after.local_seconds);

  ASSERT_EQ(saved.body.size(), 10u);
  EXPECT_TRUE(starts_with(saved.body[1], "tr:Report generated at|2")) << saved.body[1];
  saved.body[1] = "generated";
  const std::string version = shared<contracts::TraceUtility>().VersionText(App());
  EXPECT_EQ(saved.body,
            (Items{"h1:Report on SRV.Sales", "generated", "tr:Report run by|DOM\\alice",
                   "tr:Report run on|CORP\\host1", "tr:Application container name|Sales",
                   "tr:Connection string|Database=s.db;Password=********",
                   "tr:Connection Properties|Database: s.db",
                   "tr:Generated by|" + App()->title() + " version " + version, "h2:Macros",
                   "p:No Macro found"}));
  // The connection is built from the unmasked text, the report shows the masked one.
  EXPECT_EQ(inspector->texts, Items{"Database=s.db;Password=x"});
  EXPECT_TRUE(log.entries.empty());
}

TEST_F(ReportRun, saves_where_combine_path_says_logs_twice_and_exports_beside) {
  ASSERT_FALSE(execute());
  auto& files = shared<contracts::FileSystemUtility>();
  const std::string path = files.CombinePath(
      out, shared<contracts::ComponentResources>().GetResourceText("Report File Name"));
  const std::string place = ", Long:4, Tarvex_83.Implementation.GenerateReport]";
  EXPECT_EQ(logger->messages, (Items{"Saving report to '" + path + "' [Integer:80" + place,
                                     "Exported macro steps [Integer:90" + place}));
  ASSERT_EQ(exporter->calls.size(), 1u);
  EXPECT_EQ(exporter->calls[0].document, documents.at(0));
  EXPECT_EQ(exporter->calls[0].folder, files.CombinePath(out, "Macro Steps"));
  EXPECT_EQ(exporter->calls[0].logger, logger);
}

TEST_F(ReportRun, a_failing_save_or_export_stops_the_messages_there) {
  for (bool fail_save : {true, false}) {
    SCOPED_TRACE(fail_save ? "save fails" : "export fails");
    test_support::ScratchDir folder;
    script->parameters["reportfolder"] = folder.path().string();
    // A folder where the report should go makes the save fail.
    if (fail_save) fs::create_directory(folder.path() / "MacroReport.html");
    logger->messages.clear();
    exporter->calls.clear();
    exporter->fail = !fail_save;
    EXPECT_EQ(execute().value_or(Error(0, "", "")).number(), fail_save ? 75 : 5);
    ASSERT_EQ(logger->messages.size(), 1u);
    EXPECT_TRUE(starts_with(logger->messages[0], "Saving report to '" + folder.path().string()));
    EXPECT_EQ(fs::is_regular_file(folder.path() / "MacroReport.html"), !fail_save);
    EXPECT_EQ(exporter->calls.size(), fail_save ? 0u : 1u);
  }
}

TEST_F(ReportRun, report_folder_is_the_text_of_the_parameter_value) {
  const std::pair<Variant, const char*> cases[] = {
      {std::int32_t{42}, "42"}, {2.5, "2.5"}, {"named", "named"}};
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  for (const auto& [value, folder] : cases) {
    SCOPED_TRACE(folder);
    script->parameters["reportfolder"] = value;
    EXPECT_FALSE(execute());
    EXPECT_TRUE(fs::is_regular_file(dir.path() / folder / "MacroReport.html"));
  }
  fs::current_path(previous);
}

TEST_F(ReportRun, failures_before_saving_are_logged_by_the_run_then_by_execute) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::int32_t number;
  };
  const Case cases[] = {
      {"null report folder", [&] { script->parameters["reportfolder"] = Null{}; }, 94},
      {"missing report folder", [&] { script->parameters.erase("reportfolder"); }, 5},
      {"run environment fails", [&] { environment->fail_on = "MachineName"; }, 5},
      {"step progress is yes", [&] { script->parameters["reportmacrostepprogress"] = "yes"; }, 13},
      {"step progress is empty", [&] { script->parameters["reportmacrostepprogress"] = ""; }, 13},
      {"step progress is null", [&] { script->parameters["reportmacrostepprogress"] = Null{}; },
       94},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test_support::ScratchDir folder;
    script->parameters["reportfolder"] = folder.path().string();
    script->parameters["reportmacrostepprogress"] = false;
    environment->fail_on.clear();
    log.entries.clear();
    c.arrange();
    EXPECT_EQ(execute().value_or(Error(0, "", "")).number(), c.number);
    const std::string number = std::to_string(c.number);
    ASSERT_EQ(log.entries.size(), 2u);
    EXPECT_EQ(log.entries[0].brief(), "GenerateReport@0:" + number);
    EXPECT_EQ(log.entries[1].brief(), "Execute@0:" + number);
    for (const auto& entry : log.entries) {
      EXPECT_EQ(entry.application, ObjectRef(App()));
      EXPECT_EQ(entry.project + "." + entry.module, "Tarvex_83.Implementation");
    }
    EXPECT_TRUE(logger->messages.empty());
    EXPECT_TRUE(exporter->calls.empty());
    EXPECT_TRUE(fs::is_empty(folder.path()));
  }
}

TEST_F(ReportRun, step_progress_parameter_decides_whether_progress_is_read) {
  const std::pair<Variant, int> cases[] = {
      {std::int32_t{1}, 1}, {std::int16_t{-1}, 1}, {"True", 1}, {"true", 1},   {"1", 1},
      {std::int32_t{0}, 0}, {"False", 0},          {"0", 0},    {Variant(), 0}};
  helper->one_macro = true;
  for (const auto& [value, reads] : cases) {
    SCOPED_TRACE(to_text(value));
    helper->progress_reads = 0;
    script->parameters["reportmacrostepprogress"] = value;
    EXPECT_FALSE(execute());
    EXPECT_EQ(helper->progress_reads, reads);
  }
}

TEST_F(ReportRun, connection_description_is_cleaned_for_its_row) {
  const std::pair<std::string, std::string> cases[] = {
      {"Connection Properties:\r\nDriver: SQLite\r\n\r\nDatabase: d.db",
       "Driver: SQLite. Database: d.db"},
      {"Connection Properties:\r\nA: 1\r\nB: 2", "A: 1\r\nB: 2"},
      {"XYZDriver: SQLite", "Driver: SQLite"},
      {"abc", ""},
      {"", ""},
      {"Connection Properties", ""},
      {"\xc3\xa4\xc3\xb6\xc3\xbcZ\xc3\xbcrich", "Z\xc3\xbcrich"},
      {"Connection Properties:\r\nA: 1Connection Properties\r\n\r\nB: 2", "A: 1. B: 2"},
  };
  for (const auto& [description, cleaned] : cases) {
    SCOPED_TRACE(description);
    inspector->describe = [description](const ObjectRef&) { return description; };
    logger->messages.clear();
    ASSERT_FALSE(execute());
    EXPECT_EQ(row("Connection Properties"), cleaned);
  }
}

TEST_F(ReportRun, a_refusing_inspector_leaves_the_properties_row_empty) {
  struct Case {
    bool refuse_text, refuse_description, described_nothing;
  };
  for (const Case& c :
       {Case{true, false, true}, Case{false, true, false}, Case{true, true, true}}) {
    SCOPED_TRACE(std::to_string(c.refuse_text) + std::to_string(c.refuse_description));
    inspector->described_nothing.clear();
    inspector->from_text = [&](const std::string&) -> ObjectRef {
      if (c.refuse_text) raise(RuntimeError::InvalidProcedureCall);
      return std::make_shared<Object>();
    };
    inspector->describe = [&](const ObjectRef& connection) -> std::string {
      if (c.refuse_description) raise(RuntimeError::TypeMismatch);
      return connection ? "Connection Properties:\r\nA: 1" : "";
    };
    logger->messages.clear();
    ASSERT_FALSE(execute());
    Items body = report().body;
    ASSERT_GE(body.size(), 8u);
    EXPECT_EQ(body[6], "tr:Connection Properties|");
    EXPECT_TRUE(starts_with(body[7], "tr:Generated by|"));
    EXPECT_EQ(inspector->described_nothing, std::vector<bool>{c.described_nothing});
    EXPECT_TRUE(log.entries.empty());
  }
}

}  // namespace
}  // namespace tarvex::entry
