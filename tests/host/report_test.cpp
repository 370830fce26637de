// The complete report as `tarvex run` writes it, on stores that each test builds, through each
// driver: what the macro part of the body holds, in document order, for missing, duplicated and
// failing data, and the Examiner's trace lines. Row-level detail is the examiner's test's.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "companions/store/connection_text.h"
#include "host/tarvex_process.h"
#include "support/pg_server.h"
#include "tools/pg_store.h"
#include "tools/store_builder.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
namespace store = tools;
namespace cstore = companions::store;
using host_test::Outcome;
using host_test::slurp;
using host_test::TempDir;
using Items = std::vector<std::string>;

// The body from the header "Macros" on, one string an element: "h3 text", "p text", and a
// table as its cells' texts joined by "|" in brackets, e.g. "[Start|Not specified]".
Items macro_part(const pugi::xml_document& document) {
  Items items;
  bool started = false;
  pugi::xpath_query all_text("string(.)");
  for (pugi::xml_node node : document.child("html").child("body").children()) {
    std::string name = node.name();
    std::string text = all_text.evaluate_string(node);
    if (name == "h2" && text == "Macros") started = true;
    if (!started) continue;
    if (name == "table") {
      std::string row = "[";
      for (pugi::xml_node cell : node.child("tr").children("td")) {
        if (row.size() > 1) row += "|";
        row += all_text.evaluate_string(cell);
      }
      items.push_back(row + "]");
    } else {
      items.push_back(name + " " + text);
    }
  }
  return items;
}

// The items from `first` up to (not including) the next macro header or the end.
Items section(const Items& items, const std::string& first) {
  auto begin = std::find(items.begin(), items.end(), first);
  if (begin == items.end()) return {};
  auto end = std::find_if(begin + 1, items.end(),
                          [](const std::string& item) { return item.starts_with("h3 "); });
  return {begin, end};
}

store::MacroRow healthy_macro(const std::string& guid, const std::string& name,
                              const std::string& container = "Sales") {
  return {container,
          guid,
          name,
          "Ready",
          "Completed",
          "Step 1",
          "2025-03-14 01:00:00",
          "2025-03-14 01:10:00",
          {},
          {}};
}

store::StepRow healthy_step(const std::string& guid, const std::string& macro_guid,
                            std::int64_t position, const std::string& heading) {
  store::StepRow step;
  step.guid = guid;
  step.macro_guid = macro_guid;
  step.position = position;
  step.heading = heading;
  step.method_name = "sqlquery";
  step.edit_state = "Ready";
  step.run_state = "Completed";
  step.started = "2025-03-14 01:00:00";
  step.ended = "2025-03-14 01:05:00";
  step.progress = std::int64_t{100};
  return step;
}

store::ProgressRow message(const std::string& step_guid, std::int64_t seq, double progress,
                           std::optional<std::int64_t> level, const std::string& text) {
  return {step_guid,   seq,       "2025-03-14 01:02:00", text, progress, level,
          "Loader_83", "basLoad", "ImportRows"};
}

// The rows of a healthy macro from healthy_macro() up to its steps' header.
Items healthy_macro_rows(const std::string& guid, const std::string& name) {
  return {"h3 " + name + " - Completed",
          "[GUID |" + guid + "]",
          "[Edit State |Ready]",
          "[Run State |Completed]",
          "[Next Macro Item|Step 1]",
          "[Start|2025-03-14 01:00:00]",
          "[Last Completion|2025-03-14 01:10:00]",
          "[Duration|00:10:00]",
          "h4 Macro Step Details for Macro " + guid};
}

Items healthy_step_rows(const std::string& guid, const std::string& heading) {
  return {"h5 " + heading,
          "[GUID|" + guid + "]",
          "[Edit State|Ready]",
          "[Run State|Completed]",
          "[Start|2025-03-14 01:00:00]",
          "[End|2025-03-14 01:05:00]",
          "[Duration|00:05:00]",
          "[Progress|100]"};
}

const std::string kProgressLabels = "[Level|Date Time|Progress|Message|Component|Module|Procedure]";

Items concat(std::initializer_list<Items> parts) {
  Items all;
  for (const Items& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

struct Report {
  Outcome outcome;
  std::string text;  // the report file as written
  pugi::xml_document document;
  Items items;
};

// A store built by the test, and runs of the report step on one of its containers, on each
// driver: the server's store is the SQLite store copied, and must give the same report.
class ReportTest : public ::testing::TestWithParam<cstore::Driver> {
 protected:
  void build(const std::function<void(store::StoreWriter&)>& fill) {
    store::build_store(store_path().string(), fill);
    if (GetParam() == cstore::Driver::PostgreSQL) {
      server_db_ = std::make_unique<test_support::PgDatabase>();
      store::copy_store_to_pg(store_path().string(),
                              cstore::ConnectionText::parse(server_db_->connection_text(), {}));
    }
  }
  std::string connection_text() const {
    return server_db_ ? server_db_->connection_text()
                      : store::sqlite_connection_text(store_path().string());
  }

  fs::path store_path() const { return dir_.path() / "store.db"; }
  fs::path report_path() const { return dir_.path() / "rep" / "MacroReport.html"; }

  // Runs the step; a run that fails or writes a report that is not valid XHTML 1.0 Strict
  // fails the test.
  void run(Report& report, bool step_progress = true, const std::string& container = "Sales",
           const std::string& location = "SRV", std::vector<std::string> extra = {}) {
    const fs::path document = dir_.path() / "connection.xml";
    std::ofstream(document, std::ios::binary)
        << store::connection_document_text(location, container, connection_text());
    std::vector<std::string> args = {
        "run",
        "--quiet",
        "--param-file",
        "macrocontainerconnectiondocument=" + document.string(),
        "--param",
        "reportfolder=" + (dir_.path() / "rep").string(),
        "--param-bool",
        std::string("reportmacrostepprogress=") + (step_progress ? "true" : "false")};
    args.insert(args.end(), extra.begin(), extra.end());
    report.outcome = host_test::tarvex(args);
    ASSERT_EQ(report.outcome.status, 0) << report.outcome.err;
    report.text = slurp(report_path());
    ASSERT_TRUE(report.document.load_string(report.text.c_str()));
    report.items = macro_part(report.document);
    EXPECT_TRUE(host_test::valid_xhtml(report_path()));
  }

  TempDir dir_{"tarvex-report"};
  std::unique_ptr<test_support::PgDatabase> server_db_;
};

INSTANTIATE_TEST_SUITE_P(Drivers, ReportTest,
                         ::testing::Values(cstore::Driver::SQLite, cstore::Driver::PostgreSQL),
                         [](const auto& info) {
                           return std::string(cstore::driver_name(info.param));
                         });

TEST_P(ReportTest, missing_start_or_completion_gives_not_specified_and_no_duration) {
  struct Case {
    std::string name;
    store::Text start, completion;
    Items rows;  // from "Start" on, before the steps' header
  };
  const Case cases[] = {
      {"A both",
       "2025-03-14 01:00:00",
       "2025-03-14 02:30:15",
       {"[Start|2025-03-14 01:00:00]", "[Last Completion|2025-03-14 02:30:15]",
        "[Duration|01:30:15]"}},
      {"B no start",
       {},
       "2025-03-14 02:30:15",
       {"[Start|Not specified]", "[Last Completion|2025-03-14 02:30:15]"}},
      {"C no completion",
       "2025-03-14 01:00:00",
       {},
       {"[Start|2025-03-14 01:00:00]", "[Last Completion|Not specified]"}},
      {"D never run", {}, {}, {"[Start|Not specified]", "[Last Completion|Not specified]"}},
  };
  build([&](store::StoreWriter& w) {
    for (const Case& c : cases) {
      store::MacroRow macro = healthy_macro("{" + c.name + "}", c.name);
      macro.last_start = c.start;
      macro.last_completion = c.completion;
      w.insert_macro(macro);
    }
  });
  Report report;
  run(report);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Items rows = section(report.items, "h3 " + c.name + " - Completed");
    ASSERT_GE(rows.size(), 5u);
    Items expected = c.rows;
    expected.push_back("h4 Macro Step Details for Macro {" + c.name + "}");
    expected.push_back("p No Macro Steps found");
    EXPECT_EQ(Items(rows.begin() + 5, rows.end()), expected);
  }
}

TEST_P(ReportTest, duplicated_guid_gives_an_error_row_each_time_and_the_next_macro_follows) {
  build([](store::StoreWriter& w) {
    w.insert_macro(healthy_macro("{DUP}", "Alpha"));
    w.insert_macro(healthy_macro("{DUP}", "Alpha copy"));
    w.insert_macro(healthy_macro("{B}", "Beta"));
  });
  Report report;
  run(report);
  const std::string error_row =
      "[Error reporting on macro|The Macro GUID '{DUP}' returned 2 "
      "rows|-2147220540|Tarvex_83.Examiner.ReportOnMacro]";
  EXPECT_EQ(report.items, concat({{"h2 Macros", "p Found 3 Macro(s)", error_row, error_row},
                                  healthy_macro_rows("{B}", "Beta"),
                                  {"p No Macro Steps found"}}));
}

TEST_P(ReportTest, a_failing_step_or_progress_row_ends_its_step_with_an_error_row) {
  build([](store::StoreWriter& w) {
    w.insert_macro(healthy_macro("{M}", "Macro"));
    store::StepRow no_heading = healthy_step("{S1}", "{M}", 1, "");
    no_heading.heading.reset();
    w.insert_step(no_heading);
    w.insert_step(healthy_step("{S2}", "{M}", 2, "Null level"));
    w.insert_progress(message("{S2}", 1, 25, 3, "first"));
    w.insert_progress(message("{S2}", 2, 50, {}, "no level"));
    w.insert_progress(message("{S2}", 3, 75, 4, "never shown"));
    w.insert_step(healthy_step("{S3}", "{M}", 3, "Healthy"));
    w.insert_progress(message("{S3}", 1, 100, 4, "done"));
  });
  Report report;
  run(report);
  const std::string null_error = "[Error reporting on macro step|Invalid use of Null|94|Tarvex_83]";
  EXPECT_EQ(report.items,
            concat({{"h2 Macros", "p Found 1 Macro(s)"},
                    healthy_macro_rows("{M}", "Macro"),
                    {"p 3 Macro Step(s) found", null_error},
                    healthy_step_rows("{S2}", "Null level"),
                    {"p Macro Step progress found", kProgressLabels,
                     "[Information|2025-03-14 01:02:00|25%|first|Loader_83|basLoad|ImportRows]",
                     null_error},
                    healthy_step_rows("{S3}", "Healthy"),
                    {"p Macro Step progress found", kProgressLabels,
                     "[Detail|2025-03-14 01:02:00|100%|done|Loader_83|basLoad|ImportRows]"}}));
}

TEST_P(ReportTest, examiner_traces_each_macro_and_its_steps) {
  build([](store::StoreWriter& w) {
    w.insert_macro(healthy_macro("{A}", "Alpha"));
    w.insert_step(healthy_step("{A1}", "{A}", 1, "One"));
    w.insert_step(healthy_step("{A2}", "{A}", 2, "Two"));
    w.insert_macro(healthy_macro("{B}", "Beta"));
    w.insert_macro(healthy_macro("{C}", "Gamma", "Finance"));
  });
  const fs::path trace = dir_.path() / "trace.log";
  Report report;
  run(report, true, "Sales", "SRV", {"--trace", trace.string()});
  Items lines;
  std::istringstream text(slurp(trace));
  for (std::string line; std::getline(text, line);) {
    if (line.find("Tarvex_83.Examiner.") != std::string::npos)
      lines.push_back(line.substr(line.find(" [") + 1));
  }
  EXPECT_EQ(lines, (Items{
                       "[Detail] Tarvex_83.Examiner.LazyMacroHelper: Instantiating Job Helper",
                       "[Detail] Tarvex_83.Examiner.GetMacroGUIDs: 2 Macros found",
                       "[Detail] Tarvex_83.Examiner.ReportOnMacro: Reporting on Macro '{A}'",
                       "[Detail] Tarvex_83.Examiner.ReportOnMacroSteps: Reviewing Macro Steps",
                       "[Detail] Tarvex_83.Examiner.ReportOnMacroSteps: Found 2 Macro Steps",
                       "[Detail] Tarvex_83.Examiner.ReportOnMacro: Reporting on Macro '{B}'",
                       "[Detail] Tarvex_83.Examiner.ReportOnMacroSteps: Reviewing Macro Steps",
                   }));
}

}  // namespace
}  // namespace tarvex
