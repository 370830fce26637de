// Running the tarvex binary from a test (see tarvex_process.h).
#include "host/tarvex_process.h"

#include <unistd.h>

#include <cstdlib>

namespace tarvex::host_test {

namespace fs = std::filesystem;

namespace {

// `arg` in single quotes for the shell.
std::string shell_quoted(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace

Outcome tarvex(const std::vector<std::string>& args, const fs::path& working_dir,
               const std::string& prefix) {
  TempDir capture("tarvex-host");
  std::string command;
  if (!working_dir.empty()) command = "cd " + shell_quoted(working_dir.string()) + " && ";
  command += prefix + shell_quoted(TARVEX_BINARY);
  for (const std::string& arg : args) command += " " + shell_quoted(arg);
  command += " >" + shell_quoted((capture.path() / "out").string()) + " 2>" +
             shell_quoted((capture.path() / "err").string());
  int raw = std::system(("sh -c " + shell_quoted(command)).c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(capture.path() / "out"),
          slurp(capture.path() / "err")};
}

bool valid_xhtml(const fs::path& file) {
  std::string command = shell_quoted(TARVEX_XMLLINT) + " --nonet --noout --dtdvalid " +
                        shell_quoted(TARVEX_XHTML_DTD) + " " + shell_quoted(file.string());
  return std::system(command.c_str()) == 0;
}

}  // namespace tarvex::host_test
