// `tarvex store create` and `tarvex store synth` as a user runs them: exit status, what they
// leave on disk, and the message on standard error when they cannot.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/tarvex_process.h"
#include "support/pg_server.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using host_test::Outcome;
using host_test::slurp;
using host_test::tarvex;

TEST(StoreCommand, create_and_synth_on_a_server) {
  host_test::TempDir dir("tarvex-store-cmd");
  test_support::PgDatabase db;
  EXPECT_EQ(tarvex({"store", "create", "--connection", db.connection_text()}).status, 0);
  Outcome again = tarvex({"store", "create", "--connection", db.connection_text()});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("macro, macro_step, macro_step_parameter, macro_step_progress"),
            std::string::npos)
      << again.err;

  const fs::path document = dir.path() / "server.xml";
  Outcome r = tarvex({"store", "synth", "--connection", db.connection_text(), "--document",
                      document.string(), "--macros", "5", "--steps", "2", "--progress", "3"});
  ASSERT_EQ(r.status, 0) << r.err;
  test_support::PgSession session(test_support::shared_pg_server(), db.name());
  EXPECT_EQ(session.value("SELECT count(*) FROM macro_step_progress"), "30");
  EXPECT_NE(slurp(document).find("<connection>" + db.connection_text() + "</connection>"),
            std::string::npos);
}

TEST(StoreCommand, creates_once_synths_with_its_document_and_says_why_it_cannot) {
  host_test::TempDir dir("tarvex-store-cmd");
  const std::string empty = (dir.path() / "empty.db").string();
  EXPECT_EQ(tarvex({"store", "create", empty}).status, 0);
  const std::string nowhere = (dir.path() / "no" / "folder" / "x.db").string();
  const std::string missing = "the folder '" + (dir.path() / "no" / "folder").string() +
                              "' does not exist; create it first\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;  // part of the message, when it matters
  };
  const Case cases[] = {
      {{"store"}, 2, ""},
      {{"store", "create", empty}, 1, "already exists"},
      {{"store", "synth", "x.db", "--macros", "-1", "--steps", "1", "--progress", "1"}, 2, ""},
      {{"store", "synth", nowhere, "--macros", "1", "--steps", "1", "--progress", "1"},
       1,
       "tarvex store synth: " + missing},
      {{"store", "create", "--connection", "Driver=SQLite;Database=x.db"},
       1,
       "tarvex store create: --connection takes connection text naming Driver=PostgreSQL; give a "
       "SQLite store as PATH\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    Outcome r = tarvex(c.args, dir.path());
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_FALSE(r.err.empty());
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }

  const std::string path = (dir.path() / "synth.db").string();
  Outcome r = tarvex({"store", "synth", path, "--macros", "5", "--steps", "2", "--progress", "3",
                      "--seed", "4", "--container", "Finance", "--location", "HQ"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string document = slurp(path + ".connection.xml");
  for (const std::string& shown : {std::string("<applicationcontainer>Finance<"),
                                   std::string("<location>HQ<"), "Database=" + path})
    EXPECT_NE(document.find(shown), std::string::npos) << document;
}

}  // namespace
}  // namespace tarvex
