// Running the tarvex binary from a test: command line, captured output and exit status, plus
// the temporary folders and the Strict DTD check that the end-to-end tests share.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace tarvex::host_test {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string slurp(const std::filesystem::path& path) {
  return test_support::file_text(path);
}

// Runs the tarvex binary with `args` in `working_dir` (the test's own when empty), standard
// output and error captured apart; `prefix` is shell text put in front of the command (limits).
Outcome tarvex(const std::vector<std::string>& args, const std::filesystem::path& working_dir = {},
               const std::string& prefix = {});

// Whether xmllint, without the network, finds `file` valid against XHTML 1.0 Strict.
bool valid_xhtml(const std::filesystem::path& file);

using TempDir = test_support::ScratchDir;

}  // namespace tarvex::host_test
