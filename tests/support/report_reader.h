// Reads a saved report back: its title and the body after the table of contents, one item per
// element: "h3:text", "p:text", "tr:cell|cell" (a preformatted cell as "[pre]text").
#pragma once

#include <string>
#include <vector>

namespace tarvex::test_support {

struct SavedReport {
  std::string title;
  std::vector<std::string> body;
};

// Fails the test when the file is not well-formed; blanks and line ends are kept as written.
SavedReport read_report(const std::string& path);

}  // namespace tarvex::test_support
