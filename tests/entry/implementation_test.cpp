// The plug-in class as the host sees it: method-name refusals, validation, the report run with
// its front matter, its progress messages, step parameter conversions and error logging.
#include "entry/implementation.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <pugixml.hpp>

#include <cstdlib>
#include <filesystem>

#include "automation/app.h"
#include "automation/convert.h"
#include "automation/error.h"
#include "automation/registry.h"
#include "entry_doubles.h"

namespace tarvex::entry::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kRefused = -2147220539;

// A fresh folder for one test, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "tarvex-entry-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// One body element of the saved report: its name and its texts (the cells, for a table).
struct Item {
  std::string name;
  std::vector<std::string> texts;
};

class ReportRun : public ::testing::Test {
 protected:
  ReportRun() {
    script->parameters = {{"macrocontainerconnectiondocument", "<connection document/>"},
                          {"reportfolder", (folder.path() / "out").string()},
                          {"reportmacrostepprogress", "False"}};
  }

  // Execute by member name, as the host calls it; the error it raises, if any.
  std::optional<automation::Error> execute() {
    try {
      automation::call(plugin, "Execute", script, logger);
    } catch (const automation::Error& e) {
      return e;
    }
    return std::nullopt;
  }

  // The report's path, as the first progress message gives it.
  fs::path report_path() const {
    const std::string& text = logger->messages.at(0).text;
    const std::string prefix = "Saving report to '";
    EXPECT_EQ(text.substr(0, prefix.size()), prefix);
    EXPECT_EQ(text.back(), '\'');
    return text.substr(prefix.size(), text.size() - prefix.size() - 1);
  }

  // The saved report, parsed; line ends kept as written.
  pugi::xml_document report() const {
    pugi::xml_document document;
    auto result = document.load_file(report_path().c_str(), pugi::parse_default & ~pugi::parse_eol);
    EXPECT_TRUE(result) << result.description();
    return document;
  }

  // The body's elements after the table of contents.
  std::vector<Item> body() const {
    std::vector<Item> items;
    pugi::xml_document document = report();
    bool after_contents = false;
    for (pugi::xml_node node : document.child("html").child("body").children()) {
      if (!after_contents) {
        after_contents = std::string(node.attribute("id").value()) == "tableofcontents";
        continue;
      }
      Item item{node.name(), {}};
      if (item.name == "table") {
        for (pugi::xml_node cell : node.child("tr").children("td"))
          item.texts.push_back(cell.child_value());
      } else {
        item.texts.push_back(node.child_value());
      }
      items.push_back(std::move(item));
    }
    return items;
  }

  // The value cell of the front-matter row with `label`; fails when there is none.
  std::string row(const std::string& label) const {
    for (const Item& item : body()) {
      if (item.name == "table" && item.texts.size() == 2 && item.texts[0] == label)
        return item.texts[1];
    }
    ADD_FAILURE() << "no row " << label;
    return {};
  }

  TempFolder folder;
  Doubles doubles;
  automation::ObjectRef plugin = std::make_shared<Implementation>();
  std::shared_ptr<StepScript> script = std::make_shared<StepScript>();
  std::shared_ptr<Logger> logger = std::make_shared<Logger>();
};

TEST_F(ReportRun, refuses_every_method_name_but_tarvex) {
  for (const char* name : {"Tarvex", " tarvex", "tarvex ", "TARVEX", "", "otherstep"}) {
    SCOPED_TRACE(std::string("method name '") + name + "'");
    script->method_name = name;
    script->method_name_reads = 0;
    doubles.logged.clear();

    auto error = execute();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), kRefused);
    EXPECT_EQ(error->source(), "Tarvex_83.Implementation.Execute");
    EXPECT_EQ(error->description(),
              std::string("'") + name + "' is not handled by 'Tarvex_83.Implementation.Execute'");
    EXPECT_EQ(script->method_name_reads, 2);
    EXPECT_TRUE(doubles.documents.empty());
    ASSERT_EQ(doubles.logged.size(), 1u);
    EXPECT_EQ(doubles.logged[0].number, kRefused);
    EXPECT_EQ(doubles.logged[0].procedure, "Execute");
    EXPECT_TRUE(logger->messages.empty());
  }
  EXPECT_FALSE(fs::exists(folder.path() / "out"));
}

TEST_F(ReportRun, validation_gives_a_new_empty_collection_every_time) {
  script->parameters.clear();  // parameters are never read
  for (automation::ObjectRef argument : {automation::ObjectRef(script), automation::ObjectRef()}) {
    automation::Variant structure = automation::call(plugin, "ValidateStructure", argument);
    automation::Variant content = automation::call(plugin, "ValidateContent", argument);
    automation::Variant again = automation::call(plugin, "ValidateStructure", argument);
    EXPECT_EQ(automation::to_long(automation::get(structure, "Count")), 0);
    EXPECT_EQ(automation::to_long(automation::get(content, "Count")), 0);
    EXPECT_NE(structure.as_object(), content.as_object());
    EXPECT_NE(structure.as_object(), again.as_object());
  }
  EXPECT_TRUE(doubles.logged.empty());
}

TEST_F(ReportRun, writes_title_front_matter_and_macro_section_in_order) {
  automation::DateTime before = automation::now_local();
  ASSERT_FALSE(execute());
  automation::DateTime after = automation::now_local();

  ASSERT_EQ(doubles.documents.size(), 1u);
  EXPECT_EQ(doubles.documents[0]->loaded, std::vector<std::string>{"<connection document/>"});

  pugi::xml_document document = report();
  const std::string title = document.child("html").child("head").child("title").child_value();
  const std::string prefix = "Macro Report on SRV.Sales at ";
  ASSERT_EQ(title.substr(0, prefix.size()), prefix);
  auto stamp = automation::parse_date_time(title.substr(prefix.size()));
  ASSERT_TRUE(stamp) << title;
  EXPECT_GE(stamp->local_seconds, before.local_seconds);
  EXPECT_LE(stamp->local_seconds, after.local_seconds);

  const std::string version =
      automation::shared<contracts::TraceUtility>().VersionText(automation::App());
  std::vector<Item> items = body();
  ASSERT_EQ(items.size(), 10u);
  EXPECT_EQ(items[0].name, "h1");
  EXPECT_EQ(items[0].texts[0], "Report on SRV.Sales");
  const std::vector<std::string> labels = {
      "Report generated at", "Report run by",         "Report run on", "Application container name",
      "Connection string",   "Connection Properties", "Generated by"};
  for (std::size_t i = 0; i < labels.size(); ++i) {
    EXPECT_EQ(items[1 + i].name, "table");
    ASSERT_EQ(items[1 + i].texts.size(), 2u);
    EXPECT_EQ(items[1 + i].texts[0], labels[i]);
  }
  EXPECT_FALSE(items[1].texts[1].empty());
  EXPECT_EQ(items[2].texts[1], "DOM\\alice");
  EXPECT_EQ(items[3].texts[1], "CORP\\host1");
  EXPECT_EQ(items[4].texts[1], "Sales");
  EXPECT_EQ(items[5].texts[1], "Database=s.db;Password=********");
  EXPECT_EQ(items[6].texts[1], "Database: s.db");
  EXPECT_EQ(items[7].texts[1], automation::App()->title() + " version " + version);
  EXPECT_EQ(items[8].name, "h2");
  EXPECT_EQ(items[8].texts[0], "Macros");
  EXPECT_EQ(items[9].texts[0], "No Macro found");

  EXPECT_EQ(doubles.environment->reads, (std::vector<std::string>{"AccountDomain", "AccountName",
                                                                  "MachineDomain", "MachineName"}));
  // The connection is built from the unmasked text, the report shows the masked one.
  EXPECT_EQ(doubles.inspector->texts, std::vector<std::string>{"Database=s.db;Password=x"});
  EXPECT_TRUE(doubles.logged.empty());
}

TEST_F(ReportRun, saves_where_combine_path_says_logs_twice_and_exports_beside) {
  ASSERT_FALSE(execute());
  auto& files = automation::shared<contracts::FileSystemUtility>();
  const std::string out = (folder.path() / "out").string();
  const std::string expected_path = files.CombinePath(
      out, automation::shared<contracts::ComponentResources>().GetResourceText("Report File Name"));

  ASSERT_EQ(logger->messages.size(), 2u);
  EXPECT_EQ(logger->messages[0].text, "Saving report to '" + expected_path + "'");
  EXPECT_EQ(logger->messages[1].text, "Exported macro steps");
  const std::int32_t progress[] = {80, 90};
  for (std::size_t i = 0; i < 2; ++i) {
    const ProgressMessage& m = logger->messages[i];
    EXPECT_EQ(m.progress_kind, automation::Kind::Integer);
    EXPECT_EQ(m.progress, progress[i]);
    EXPECT_EQ(m.level_kind, automation::Kind::Long);
    EXPECT_EQ(m.level, 4);
    EXPECT_EQ(m.project, "Tarvex_83");
    EXPECT_EQ(m.module, "Implementation");
    EXPECT_EQ(m.procedure, "GenerateReport");
  }
  EXPECT_TRUE(fs::is_regular_file(expected_path));
  EXPECT_EQ(doubles.files->prepared, std::vector<std::string>{out});

  ASSERT_EQ(doubles.exporter->calls.size(), 1u);
  const auto& exported = doubles.exporter->calls[0];
  EXPECT_EQ(exported.document, doubles.documents.at(0));
  EXPECT_EQ(exported.folder, files.CombinePath(out, "Macro Steps"));
  EXPECT_EQ(exported.logger, logger);
}

TEST_F(ReportRun, a_failing_save_or_export_stops_the_messages_there) {
  struct Case {
    const char* what;
    bool fail_save;
    bool fail_export;
    std::size_t messages;
    bool report_written;
    std::size_t exports;
  };
  const Case cases[] = {{"save fails", true, false, 1, false, 0},
                        {"export fails", false, true, 1, true, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder out;
    script->parameters["reportfolder"] = out.path().string();
    logger->messages.clear();
    doubles.exporter->calls.clear();
    doubles.files->fail_writes = c.fail_save;
    doubles.exporter->fail = c.fail_export;

    auto error = execute();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), 5);
    ASSERT_EQ(logger->messages.size(), c.messages);
    EXPECT_EQ(logger->messages[0].progress, 80);
    EXPECT_EQ(fs::is_regular_file(report_path()), c.report_written);
    EXPECT_EQ(doubles.exporter->calls.size(), c.exports);
  }
}

TEST_F(ReportRun, report_folder_is_the_text_of_the_parameter_value) {
  struct Case {
    automation::Variant value;
    const char* folder;
  };
  const Case cases[] = {{std::int32_t{42}, "42"}, {2.5, "2.5"}, {"named", "named"}};
  const fs::path previous = fs::current_path();
  fs::current_path(folder.path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    script->parameters["reportfolder"] = c.value;
    doubles.files->prepared.clear();
    EXPECT_FALSE(execute());
    EXPECT_EQ(doubles.files->prepared, std::vector<std::string>{c.folder});
    EXPECT_TRUE(fs::is_directory(folder.path() / c.folder));
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
      {"null report folder", [&] { script->parameters["reportfolder"] = automation::Null{}; }, 94},
      {"missing report folder", [&] { script->parameters.erase("reportfolder"); }, 5},
      {"run environment fails", [&] { doubles.environment->fail_on = "MachineName"; }, 5},
      {"step progress is yes", [&] { script->parameters["reportmacrostepprogress"] = "yes"; }, 13},
      {"step progress is empty text", [&] { script->parameters["reportmacrostepprogress"] = ""; },
       13},
      {"step progress is null",
       [&] { script->parameters["reportmacrostepprogress"] = automation::Null{}; }, 94},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder out;
    script->parameters["reportfolder"] = out.path().string();
    script->parameters["reportmacrostepprogress"] = false;
    doubles.environment->fail_on.clear();
    doubles.logged.clear();
    doubles.exporter->calls.clear();
    c.arrange();

    auto error = execute();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), c.number);
    ASSERT_EQ(doubles.logged.size(), 2u);
    const char* procedures[] = {"GenerateReport", "Execute"};
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(doubles.logged[i].number, c.number);
      EXPECT_TRUE(doubles.logged[i].application_is_app);
      EXPECT_EQ(doubles.logged[i].line, 0);
      EXPECT_EQ(doubles.logged[i].project, "Tarvex_83");
      EXPECT_EQ(doubles.logged[i].module, "Implementation");
      EXPECT_EQ(doubles.logged[i].procedure, procedures[i]);
    }
    EXPECT_TRUE(logger->messages.empty());
    EXPECT_TRUE(doubles.exporter->calls.empty());
    EXPECT_TRUE(fs::is_empty(out.path()));
  }
}

TEST_F(ReportRun, step_progress_parameter_decides_whether_progress_is_read) {
  struct Case {
    automation::Variant value;
    int reads;
  };
  const Case cases[] = {{std::int32_t{1}, 1},
                        {std::int16_t{-1}, 1},
                        {"True", 1},
                        {"true", 1},
                        {"1", 1},
                        {std::int32_t{0}, 0},
                        {"False", 0},
                        {"0", 0},
                        {automation::Variant(), 0}};
  doubles.helper->one_macro = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(automation::to_text(c.value));
    doubles.helper->progress_reads = 0;
    script->parameters["reportmacrostepprogress"] = c.value;
    EXPECT_FALSE(execute());
    EXPECT_EQ(doubles.helper->progress_reads, c.reads);
  }
}

TEST_F(ReportRun, connection_description_is_cleaned_for_its_row) {
  struct Case {
    const char* description;
    const char* row;
  };
  const Case cases[] = {
      {"Connection Properties:\r\nDriver: SQLite\r\n\r\nDatabase: d.db",
       "Driver: SQLite. Database: d.db"},
      {"Connection Properties:\r\nA: 1\r\nB: 2", "A: 1\r\nB: 2"},
      {"XYZDriver: SQLite", "Driver: SQLite"},
      {"abc", ""},
      {"ab", ""},
      {"", ""},
      {"Connection Properties", ""},
      {"\xc3\xa4\xc3\xb6\xc3\xbcZ\xc3\xbcrich", "Z\xc3\xbcrich"},
      {"Connection Properties:\r\nA: 1Connection Properties\r\n\r\nB: 2", "A: 1. B: 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    std::string description = c.description;
    doubles.inspector->describe = [description](const automation::ObjectRef&) {
      return description;
    };
    logger->messages.clear();
    ASSERT_FALSE(execute());
    EXPECT_EQ(row("Connection Properties"), c.row);
  }
}

TEST_F(ReportRun, a_refusing_inspector_leaves_row_six_empty_and_row_seven_follows) {
  struct Case {
    const char* what;
    bool refuse_text;
    bool refuse_description;
    bool described_nothing;
  };
  const Case cases[] = {{"text refused", true, false, true},
                        {"description refused", false, true, false},
                        {"both refused", true, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    doubles.inspector->described_nothing.clear();
    doubles.inspector->from_text = [&](const std::string&) -> automation::ObjectRef {
      if (c.refuse_text) automation::raise(automation::RuntimeError::InvalidProcedureCall);
      return std::make_shared<automation::Object>();
    };
    doubles.inspector->describe = [&](const automation::ObjectRef& connection) -> std::string {
      if (c.refuse_description) automation::raise(automation::RuntimeError::TypeMismatch);
      return connection ? "Connection Properties:\r\nA: 1" : "";
    };
    logger->messages.clear();
    ASSERT_FALSE(execute());

    std::vector<Item> items = body();
    ASSERT_GE(items.size(), 8u);
    EXPECT_EQ(items[6].texts, (std::vector<std::string>{"Connection Properties", ""}));
    EXPECT_EQ(items[7].texts.at(0), "Generated by");
    EXPECT_EQ(doubles.inspector->described_nothing, std::vector<bool>{c.described_nothing});
    EXPECT_TRUE(doubles.logged.empty());
  }
}

}  // namespace
}  // namespace tarvex::entry::testing
