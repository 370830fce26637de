// The advance line of a run: on a terminal one line, rewritten for each macro and erased before
// each progress line; on a pipe nothing but the progress lines.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "host/tarvex_process.h"

namespace tarvex {
namespace {

using host_test::Outcome;
using host_test::TempDir;

// Runs tarvex on a new pseudo-terminal; returns what the terminal received.
std::string on_terminal(std::vector<std::string> args) {
  args.insert(args.begin(), TARVEX_BINARY);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int terminal = -1;
  pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  EXPECT_GT(child, 0);
  std::string received;
  char buffer[4096];
  for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) received.append(buffer, n);
  close(terminal);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << received;
  return received;
}

TEST(advance, a_terminal_sees_each_macro_on_one_line_and_a_pipe_only_progress_lines) {
  TempDir dir("tarvex-advance");
  const std::string store = (dir.path() / "s.db").string();
  ASSERT_EQ(host_test::tarvex(
                {"store", "synth", store, "--macros", "3", "--steps", "1", "--progress", "1"})
                .status,
            0);
  const std::string report = (dir.path() / "rep").string();
  const std::vector<std::string> run = {
      "run",
      "--param-file",
      "macrocontainerconnectiondocument=" + store + ".connection.xml",
      "--param",
      "reportfolder=" + report,
      "--param-bool",
      "reportmacrostepprogress=true"};
  const std::string saving = "[ 80%] Saving report to '" + report + "/MacroReport.html'";
  const std::string exported = "[ 90%] Exported macro steps";

  EXPECT_EQ(on_terminal(run),
            "\r\033[KReporting on macro 1 of 3\r\033[KReporting on macro 2 of 3"
            "\r\033[KReporting on macro 3 of 3\r\033[K" +
                saving + "\r\n" + exported + "\r\n");

  Outcome piped = host_test::tarvex(run);
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.out, saving + "\n" + exported + "\n");
  EXPECT_EQ(piped.err, "");
}

}  // namespace
}  // namespace tarvex
