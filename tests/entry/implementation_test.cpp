// The plug-in's report run as far as the end-to-end runs cannot stage it: the front matter
// from stand-in companions, failing saves, exports and inspectors, and error logging. Method
// names, validation and progress lines are tested on the tarvex binary.
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
  std::function<std::string(const ObjectRef&)> describe = [](const ObjectRef&) {
    return "Connection Properties:\r\nDatabase: s.db";
  };
  Items texts;
  ObjectRef ConnectionFromText(const std::string& text) override {
    texts.push_back(text);
    return std::make_shared<Object>();
  }
  std::string DescribeConnection(const ObjectRef& connection) override {
    return describe(connection);
  }
};

class MacroStepExporter : public contracts::MacroStepExporter {
 public:
  int calls = 0;
  bool fail = false;
  void ExportMacroSteps(const ObjectRef&, const std::string&, const ObjectRef&) override {
    ++calls;
    if (fail) raise(RuntimeError::InvalidProcedureCall);
  }
};

// A store without macros.
class MacroHelper : public Object {
 public:
  Variant invoke(std::string_view, CallKind, Args&) override { return {}; }
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

TEST_F(ReportRun, a_failing_save_or_export_stops_the_messages_there) {
  for (bool fail_save : {true, false}) {
    SCOPED_TRACE(fail_save ? "save fails" : "export fails");
    test_support::ScratchDir folder;
    script->parameters["reportfolder"] = folder.path().string();
    // A folder where the report should go makes the save fail.
    if (fail_save) fs::create_directory(folder.path() / "MacroReport.html");
    logger->messages.clear();
    exporter->calls = 0;
    exporter->fail = !fail_save;
    EXPECT_EQ(execute().value_or(Error(0, "", "")).number(), fail_save ? 75 : 5);
    ASSERT_EQ(logger->messages.size(), 1u);
    EXPECT_TRUE(starts_with(logger->messages[0], "Saving report to '" + folder.path().string()));
    EXPECT_EQ(fs::is_regular_file(folder.path() / "MacroReport.html"), !fail_save);
    EXPECT_EQ(exporter->calls, fail_save ? 0 : 1);
  }
}

TEST_F(ReportRun, failures_before_saving_are_logged_by_the_run_then_by_execute) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::int32_t number;
  };
  const Case cases[] = {
      {"null report folder", [&] { script->parameters["reportfolder"] = Null{}; }, 94},
      {"run environment fails", [&] { environment->fail_on = "MachineName"; }, 5},
      {"step progress is yes", [&] { script->parameters["reportmacrostepprogress"] = "yes"; }, 13},
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
    EXPECT_EQ(exporter->calls, 0);
    EXPECT_TRUE(fs::is_empty(folder.path()));
  }
}

TEST_F(ReportRun, connection_description_is_cleaned_for_its_row) {
  const std::pair<std::string, std::string> cases[] = {
      {"Connection Properties:\r\nDriver: SQLite\r\n\r\nDatabase: d.db",
       "Driver: SQLite. Database: d.db"},
      {"abc", ""},
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

}  // namespace
}  // namespace tarvex::entry
