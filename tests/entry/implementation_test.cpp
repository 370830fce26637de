// The plug-in's front matter from stand-in companions, which the end-to-end runs cannot pin down
// (account, machine, time). Method names, validation, progress lines and failures are tested on
// the tarvex binary.
#include "entry/implementation.h"

#include <gtest/gtest.h>

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

class RunEnvironment : public contracts::RunEnvironment {
 public:
  std::string AccountDomain() override { return "DOM"; }
  std::string AccountName() override { return "alice"; }
  std::string MachineDomain() override { return "CORP"; }
  std::string MachineName() override { return "host1"; }
};

// Keeps the texts it is given.
class ConnectionInspector : public contracts::ConnectionInspector {
 public:
  Items texts;
  ObjectRef ConnectionFromText(const std::string& text) override {
    texts.push_back(text);
    return std::make_shared<Object>();
  }
  std::string DescribeConnection(const ObjectRef&) override {
    return "Connection Properties:\r\nDriver: SQLite\r\n\r\nDatabase: s.db";
  }
};

class MacroStepExporter : public contracts::MacroStepExporter {
 public:
  void ExportMacroSteps(const ObjectRef&, const std::string&, const ObjectRef&) override {}
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
  test_support::ScratchDir dir;
  const std::string out = dir.file("out");
  test_support::ErrorLog log;
  std::shared_ptr<ConnectionInspector> inspector = std::make_shared<ConnectionInspector>();
  ScopedShared<contracts::ConnectionInspector> inspector_scope{inspector};
  ScopedNew<contracts::ConnectionDocument> documents_scope{
      [] { return std::make_shared<ConnectionDocument>(); }};
  ScopedNew<contracts::RunEnvironment> environment_scope{
      [] { return std::make_shared<RunEnvironment>(); }};
  ScopedNew<contracts::MacroStepExporter> exporter_scope{
      [] { return std::make_shared<MacroStepExporter>(); }};
  ScopedProgId helper_scope{"Stepstore_83.Helper", [] { return std::make_shared<MacroHelper>(); }};
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
                   "tr:Connection Properties|Driver: SQLite. Database: s.db",
                   "tr:Generated by|" + App()->title() + " version " + version, "h2:Macros",
                   "p:No Macro found"}));
  // The connection is built from the unmasked text, the report shows the masked one.
  EXPECT_EQ(inspector->texts, Items{"Database=s.db;Password=x"});
  EXPECT_TRUE(log.entries.empty());
}

}  // namespace
}  // namespace tarvex::entry
