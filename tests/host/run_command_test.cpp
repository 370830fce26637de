// `tarvex run` and `tarvex validate` as a user meets them: exit status, the error line on
// standard error, usage errors.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "host/tarvex_process.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;

using host_test::Outcome;
using host_test::slurp;
using host_test::tarvex;

TEST(run_command, refused_method_name_exits_1_with_one_error_line) {
  for (const char* name : {"otherstep", ""}) {
    SCOPED_TRACE(name);
    Outcome o = tarvex({"run", "--method", name, "--param", "reportfolder=unused"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, std::string("error -2147220539: '") + name +
                         "' is not handled by 'Tarvex_83.Implementation.Execute' (source "
                         "Tarvex_83.Implementation.Execute)\nhint: this plug-in runs only steps "
                         "whose method name is 'tarvex' (--method tarvex)\n");
    EXPECT_EQ(o.out, "");
  }
}

TEST(run_command, usage_errors_exit_2) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"run", "--bogus"},
      {"run", "--param", "=value"},
      {"run", "--param-number", "n=twelve"},
      {"run", "--param-bool", "b=yes"},
      {"run", "--param-file", "f=/nonexistent/tarvex/file"},
      {"validate", "--method"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    SCOPED_TRACE(shown);
    EXPECT_EQ(tarvex(args).status, 2);
  }
}

// A small synthetic store with its connection document, in a folder of its own.
class EndToEnd : public ::testing::Test {
 protected:
  EndToEnd() {
    std::string pattern = (fs::temp_directory_path() / "tarvex-e2e-XXXXXX").string();
    dir = mkdtemp(pattern.data());
    Outcome synth = tarvex({"store", "synth", (dir / "s.db").string(), "--macros", "2", "--steps",
                            "1", "--progress", "1", "--location", "SRV", "--container", "Sales"});
    EXPECT_EQ(synth.status, 0) << synth.err;
  }
  ~EndToEnd() override { fs::remove_all(dir); }

  Outcome run(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {
        "run",
        "--param-file",
        "macrocontainerconnectiondocument=" + (dir / "s.db.connection.xml").string(),
        "--param",
        "reportfolder=" + (dir / "rep").string(),
        "--param-bool",
        "reportmacrostepprogress=true"};
    args.insert(args.end(), extra.begin(), extra.end());
    return tarvex(args);
  }

  fs::path dir;
};

// What the report holds is the business of the report and front-matter tests.
TEST_F(EndToEnd, run_prints_its_progress_lines_and_nothing_else) {
  Outcome o = run();
  ASSERT_EQ(o.status, 0) << o.err;
  const fs::path report = dir / "rep" / "MacroReport.html";
  // No advance line: not a terminal.
  EXPECT_EQ(o.out.rfind("[ 80%] Saving report to '" + report.string() + "'\n", 0), 0u) << o.out;
  EXPECT_TRUE(o.out.ends_with("[ 90%] Exported macro steps\n")) << o.out;
  EXPECT_EQ(o.err, "");
}

TEST_F(EndToEnd, quiet_prints_nothing_and_trace_goes_to_its_file) {
  const fs::path trace = dir / "trace.log";
  Outcome o = run({"--quiet", "--trace", trace.string()});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "");
  EXPECT_NE(slurp(trace).find("Tarvex_83.Examiner.GetMacroGUIDs: 2 Macros found"),
            std::string::npos);
}

TEST(validate_command, counts_both_collections) {
  Outcome o = tarvex({"validate", "--method", "anything"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "ValidateStructure: 0 item(s)\nValidateContent: 0 item(s)\n");

  Outcome quiet = tarvex({"validate", "--quiet"});
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.out, "");
}

}  // namespace
}  // namespace tarvex
