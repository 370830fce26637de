// `tarvex store create` and `tarvex store synth` as a user runs them: exit status, what they
// leave on disk, and the message on standard error when they cannot.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/tarvex_process.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using host_test::Outcome;
using host_test::tarvex;

TEST(store_command, create_makes_a_store_once_and_synth_writes_its_connection_document) {
  host_test::TempDir dir("tarvex-store-cmd");
  const std::string empty = (dir.path() / "empty.db").string();
  EXPECT_EQ(tarvex({"store", "create", empty}).status, 0);
  EXPECT_TRUE(fs::exists(empty));
  Outcome again = tarvex({"store", "create", empty});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("already exists"), std::string::npos) << again.err;

  const std::string path = (dir.path() / "synth.db").string();
  Outcome synth = tarvex({"store", "synth", path, "--macros", "5", "--steps", "2", "--progress",
                          "3", "--container", "Finance", "--location", "HQ"});
  ASSERT_EQ(synth.status, 0) << synth.err;
  const std::string document = host_test::slurp(path + ".connection.xml");
  for (const std::string& part : {std::string("<applicationcontainer>Finance<"),
                                  std::string("<location>HQ<"), "Database=" + path})
    EXPECT_NE(document.find(part), std::string::npos) << part;
}

TEST(store_command, usage_errors_exit_2_and_failures_exit_1) {
  host_test::TempDir dir("tarvex-store-cmd");
  const std::string nowhere = (dir.path() / "no" / "such" / "x.db").string();
  const std::string missing = "the folder '" + (dir.path() / "no" / "such").string() +
                              "' does not exist; create it first\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;  // the whole message, when it matters
  };
  const Case cases[] = {
      {{"store", "synth", "x.db", "--macros", "1", "--steps", "1"}, 2, ""},
      {{"store", "synth", "x.db", "--macros", "-1", "--steps", "1", "--progress", "1"}, 2, ""},
      {{"store", "synth", nowhere, "--macros", "1", "--steps", "1", "--progress", "1"},
       1,
       "tarvex store synth: " + missing},
      {{"store", "create", nowhere}, 1, "tarvex store create: " + missing},
  };
  for (const Case& c : cases) {
    Outcome o = tarvex(c.args, dir.path());
    EXPECT_EQ(o.status, c.status) << c.args.back() << ": " << o.err;
    EXPECT_FALSE(o.err.empty());
    if (!c.says.empty()) EXPECT_EQ(o.err, c.says);
  }
}

}  // namespace
}  // namespace tarvex
