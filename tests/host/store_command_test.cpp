// `tarvex store create` and `tarvex store synth` as a user runs them: exit status, what they
// leave on disk, and the message on standard error when they cannot.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/pg_server.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string err;
};

class StoreCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tarvex-store-cmd-XXXXXX").string();
    dir_ = mkdtemp(pattern.data());
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs tarvex with `args` (none may hold a single quote); standard error is captured.
  Result tarvex(const std::vector<std::string>& args) {
    std::string command = std::string("'") + TARVEX_BINARY + "'";
    for (const std::string& arg : args) command += " '" + arg + "'";
    command += " >/dev/null 2>'" + (dir_ / "err").string() + "'";
    int raw = std::system(command.c_str());
    std::ifstream in(dir_ / "err");
    std::stringstream err;
    err << in.rdbuf();
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, err.str()};
  }

  fs::path dir_;
};

TEST_F(StoreCommand, create_makes_a_store_once) {
  std::string path = (dir_ / "empty.db").string();
  EXPECT_EQ(tarvex({"store", "create", path}).status, 0);
  EXPECT_TRUE(fs::exists(path));
  Result again = tarvex({"store", "create", path});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("already exists"), std::string::npos) << again.err;
}

TEST_F(StoreCommand, synth_writes_the_store_and_its_connection_document) {
  std::string path = (dir_ / "synth.db").string();
  Result r = tarvex({"store", "synth", path, "--macros", "5", "--steps", "2", "--progress", "3",
                     "--seed", "4", "--container", "Finance", "--location", "HQ"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::file_size(path) > 0);
  std::ifstream in(path + ".connection.xml");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("<applicationcontainer>Finance</applicationcontainer>"),
            std::string::npos);
  EXPECT_NE(text.str().find("<location>HQ</location>"), std::string::npos);
  EXPECT_NE(text.str().find("Database=" + path), std::string::npos);
}

TEST_F(StoreCommand, create_and_synth_on_a_server) {
  tarvex::test_support::PgDatabase db;
  EXPECT_EQ(tarvex({"store", "create", "--connection", db.connection_text()}).status, 0);
  Result again = tarvex({"store", "create", "--connection", db.connection_text()});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("macro, macro_step, macro_step_parameter, macro_step_progress"),
            std::string::npos)
      << again.err;

  std::string document = (dir_ / "server.xml").string();
  Result r = tarvex({"store", "synth", "--connection", db.connection_text(), "--document", document,
                     "--macros", "5", "--steps", "2", "--progress", "3"});
  ASSERT_EQ(r.status, 0) << r.err;
  tarvex::test_support::PgSession session(tarvex::test_support::shared_pg_server(), db.name());
  EXPECT_EQ(session.value("SELECT count(*) FROM macro_step_progress"), "30");
  std::ifstream in(document);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("<connection>" + db.connection_text() + "</connection>"),
            std::string::npos)
      << text.str();
}

TEST_F(StoreCommand, usage_errors_exit_2_and_failures_exit_1) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;  // a part of the message, when it matters
  };
  std::string nowhere = (dir_ / "no" / "such" / "folder" / "x.db").string();
  std::string missing = "the folder '" + (dir_ / "no" / "such" / "folder").string() +
                        "' does not exist; create it first\n";
  const Case cases[] = {
      {{"store"}, 2, ""},
      {{"store", "synth", "x.db", "--macros", "1", "--steps", "1"}, 2, ""},
      {{"store", "synth", "x.db", "--macros", "-1", "--steps", "1", "--progress", "1"}, 2, ""},
      {{"store", "synth", nowhere, "--macros", "1", "--steps", "1", "--progress", "1"},
       1,
       "tarvex store synth: " + missing},
      {{"store", "create", nowhere}, 1, "tarvex store create: " + missing},
      {{"store", "create", "x.db", "--connection", "Driver=PostgreSQL"}, 2, ""},
      {{"store", "synth", "--connection", "Driver=PostgreSQL", "--macros", "1", "--steps", "1",
        "--progress", "1"},
       2,
       ""},
      {{"store", "create", "--connection", "Driver=SQLite;Database=x.db"},
       1,
       "tarvex store create: --connection takes connection text naming Driver=PostgreSQL; give a "
       "SQLite store as PATH\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    Result r = tarvex(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_FALSE(r.err.empty());
    if (!c.says.empty()) {
      EXPECT_EQ(r.err, c.says);
    }
  }
}

}  // namespace
