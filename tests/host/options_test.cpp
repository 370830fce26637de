// The command line as a user meets it: every option may repeat, a later value for a name
// replacing an earlier one whatever option gave either, and a run prints only its progress
// lines; usage errors name the parameter; after a failed step the host's hint says which option
// gives what was missing or mistaken. `tarvex validate` counts both collections.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/tarvex_process.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;

using host_test::Outcome;
using host_test::TempDir;

constexpr const char* kDocument = "macrocontainerconnectiondocument";
constexpr const char* kRefused = "error -2147220539: ";

// A small store and its connection document; the runs work in the same folder, so that a
// relative report folder lands there too.
class Options : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir("tarvex-options");
    Outcome synth = host_test::tarvex(
        {"store", "synth", "s.db", "--macros", "2", "--steps", "1", "--progress", "1"},
        dir_->path());
    ASSERT_EQ(synth.status, 0) << synth.err;
    std::ofstream(dir_->path() / "folder-a") << "from-a";
    std::ofstream(dir_->path() / "folder-b") << "from-b";
  }
  static void TearDownTestSuite() { delete dir_; }

  static Outcome run(const std::vector<std::string>& args) {
    return host_test::tarvex(args, dir_->path());
  }
  static fs::path path(const std::string& name) { return dir_->path() / name; }

  static TempDir* dir_;
};

TempDir* Options::dir_ = nullptr;

// Each case gives reportfolder (and the method) after the same base options, so the report's
// folder, or the error, shows which value won.
TEST_F(Options, a_later_value_replaces_an_earlier_one_whatever_option_gave_either) {
  struct Case {
    std::vector<std::string> args;
    std::string folder;  // where the report went; empty: the run fails
    std::string error;   // the start of the error line
  };
  const Case cases[] = {
      {{"--param", "reportfolder=a", "--param", "reportfolder=b"}, "b", ""},
      {{"--param-number", "reportfolder=4", "--param-number", "reportfolder=5.5"}, "5.5", ""},
      {{"--param-file", "reportfolder=folder-a", "--param-file", "reportfolder=folder-b"},
       "from-b",
       ""},
      {{"--param-bool", "reportfolder=false", "--param-bool", "reportfolder=true"}, "True", ""},
      {{"--param-null", "reportfolder", "--param", "ReportFolder=c"}, "c", ""},
      {{"--param", "reportfolder=c", "--param-null", "REPORTFOLDER"}, "", "error 94: "},
      {{"--param-empty", "reportfolder", "--param-number", "reportfolder=7"}, "7", ""},
      {{"--method", "other", "--method", "tarvex"}, "rep", ""},
      {{"--method", "tarvex", "--method", "other"},
       "",
       std::string(kRefused) +
           "'other' is not handled by 'Tarvex_83.Implementation.Execute' (source "
           "Tarvex_83.Implementation.Execute)\nhint: this plug-in runs only steps whose method "
           "name is 'tarvex' (--method tarvex)\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"run",
                                     "--param-file",
                                     std::string(kDocument) + "=s.db.connection.xml",
                                     "--param-bool",
                                     "reportmacrostepprogress=false",
                                     "--param",
                                     "reportfolder=rep"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(::testing::PrintToString(c.args));
    Outcome o = run(args);
    if (c.folder.empty()) {
      EXPECT_EQ(o.status, 1);
      EXPECT_TRUE(o.err.starts_with(c.error)) << o.err;
      EXPECT_EQ(o.out, "");
    } else {
      EXPECT_EQ(o.status, 0) << o.err;
      // The progress lines, padded to three places, and nothing else.
      EXPECT_EQ(o.out.rfind("[ 80%] Saving report to '" + c.folder + "/MacroReport.html'\n", 0), 0u)
          << o.out;
      EXPECT_TRUE(o.out.ends_with("[ 90%] Exported macro steps\n")) << o.out;
      EXPECT_EQ(o.err, "");
    }
  }
}

TEST_F(Options, flags_and_store_options_repeat_too) {
  const std::string document = std::string(kDocument) + "=s.db.connection.xml";
  Outcome quiet = run({"run", "--quiet", "--param-file", document, "--param", "reportfolder=q",
                       "--param-bool", "reportmacrostepprogress=true", "--quiet", "--trace",
                       "first.log", "--trace", "second.log"});
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.out, "");
  EXPECT_FALSE(fs::exists(path("first.log")));
  EXPECT_NE(host_test::slurp(path("second.log")).find("2 Macros found"), std::string::npos);

  Outcome synth = run({"store", "synth", "t.db", "--macros", "1", "--steps", "1", "--progress", "1",
                       "--macros", "3", "--seed", "1", "--seed", "2"});
  EXPECT_EQ(synth.status, 0) << synth.err;
  EXPECT_TRUE(synth.out.starts_with("Wrote t.db: 3 macros, 3 steps")) << synth.out;
}

// A usage error names the parameter; after a failed step the error line is the plug-in's own
// and the hint after it the host's.
TEST_F(Options, errors_name_the_parameter_and_a_hint_follows_when_the_host_can_tell_the_cause) {
  const std::string more = "Run with --help for more information.\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string error;  // the start of the error line
    std::string after;  // what follows that line
  };
  const Case cases[] = {
      {{"--param-bool", "progress=maybe"},
       2,
       "--param-bool: expected true or false for 'progress', got 'maybe'",
       more},
      {{"--param-file", "doc=missing.xml"},
       2,
       "--param-file: cannot read the file 'missing.xml' for 'doc'",
       more},
      {{},
       1,
       "error 5: ",
       "hint: give the connection document with --param-file " + std::string(kDocument) +
           "=FILE\n"},
      {{"--param", std::string(kDocument) + "=s.db.connection.xml"},
       1,
       "error ",
       "hint: " + std::string(kDocument) +
           " takes the document's text; to read it from the file, give --param-file " + kDocument +
           "=s.db.connection.xml\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"run", "--quiet"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.error);
    Outcome o = run(args);
    EXPECT_EQ(o.status, c.status);
    EXPECT_TRUE(o.err.starts_with(c.error)) << o.err;
    std::size_t end_of_error = o.err.find('\n');
    ASSERT_NE(end_of_error, std::string::npos) << o.err;
    EXPECT_EQ(o.err.substr(end_of_error + 1), c.after);
  }
  Outcome version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "Tarvex 1.0.0\n");
}

TEST(validate_command, counts_both_collections) {
  Outcome o = host_test::tarvex({"validate", "--method", "anything"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "ValidateStructure: 0 item(s)\nValidateContent: 0 item(s)\n");

  Outcome quiet = host_test::tarvex({"validate", "--quiet"});
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.out, "");
}

}  // namespace
}  // namespace tarvex
