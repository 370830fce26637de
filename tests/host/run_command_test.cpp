// `tarvex run` and `tarvex validate` as a user meets them: exit status, the error line on
// standard error, usage errors, and parameters given more than once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string quoted(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs the tarvex binary with `args`, standard output and error captured apart.
Outcome tarvex(const std::vector<std::string>& args) {
  std::string pattern = (fs::temp_directory_path() / "tarvex-host-XXXXXX").string();
  const fs::path dir = mkdtemp(pattern.data());
  std::string command = quoted(TARVEX_BINARY);
  for (const std::string& arg : args) command += " " + quoted(arg);
  command += " >" + quoted((dir / "out").string()) + " 2>" + quoted((dir / "err").string());
  int raw = std::system(command.c_str());
  Outcome outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir / "out"), slurp(dir / "err")};
  fs::remove_all(dir);
  return outcome;
}

TEST(run_command, refused_method_name_exits_1_with_one_error_line) {
  for (const char* name : {"otherstep", "", " tarvex", "Tarvex"}) {
    SCOPED_TRACE(name);
    Outcome o = tarvex({"run", "--method", name, "--param", "reportfolder=unused"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, std::string("error -2147220539: '") + name +
                         "' is not handled by 'Tarvex_83.Implementation.Execute' (source "
                         "Tarvex_83.Implementation.Execute)\n");
    EXPECT_EQ(o.out, "");
  }
}

TEST(run_command, missing_parameter_is_error_5_naming_it) {
  Outcome o = tarvex({"run", "--quiet"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err.rfind("error 5: ", 0), 0u) << o.err;
  EXPECT_NE(o.err.find("'macrocontainerconnectiondocument'"), std::string::npos) << o.err;
  EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1);
}

TEST(run_command, later_value_of_a_parameter_replaces_the_earlier_one) {
  const std::string name = "macrocontainerconnectiondocument";
  Outcome null_last = tarvex({"run", "--param", name + "=<x/>", "--param-null", name});
  EXPECT_EQ(null_last.status, 1);
  EXPECT_EQ(null_last.err.rfind("error 94: ", 0), 0u) << null_last.err;

  Outcome text_last = tarvex({"run", "--param-null", name, "--param", name + "=<x/>"});
  EXPECT_EQ(text_last.status, 1);
  EXPECT_EQ(text_last.err.find("error 94: "), std::string::npos) << text_last.err;
}

TEST(run_command, usage_errors_exit_2) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"run", "--bogus"},
      {"run", "--param", "no-equals-sign"},
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

TEST(validate_command, counts_both_collections) {
  Outcome o = tarvex({"validate", "--method", "anything"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "ValidateStructure: 0 item(s)\nValidateContent: 0 item(s)\n");

  Outcome quiet = tarvex({"validate", "--quiet"});
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.out, "");
}

}  // namespace
