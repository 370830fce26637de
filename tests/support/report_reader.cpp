// Reading a saved report into items (report_reader.h).
#include "support/report_reader.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>

namespace tarvex::test_support {

SavedReport read_report(const std::string& path) {
  pugi::xml_document parsed;
  auto ok = parsed.load_file(
      path.c_str(), (pugi::parse_default | pugi::parse_ws_pcdata_single) & ~pugi::parse_eol);
  EXPECT_TRUE(ok) << path << ": " << ok.description();
  pugi::xml_node html = parsed.child("html");
  SavedReport report{html.child("head").child("title").text().get(), {}};
  bool after_contents = false;
  for (pugi::xml_node node : html.child("body").children()) {
    if (node.type() != pugi::node_element) continue;
    std::string name = node.name();
    if (!after_contents) {
      after_contents = std::string(node.attribute("id").value()) == "tableofcontents";
      continue;
    }
    if (name != "table") {
      report.body.push_back(name + ":" + node.text().get());
      continue;
    }
    std::string row = "tr:";
    bool first = true;
    for (pugi::xml_node td : node.child("tr").children("td")) {
      if (!first) row += "|";
      first = false;
      row += td.child("pre") ? "[pre]" + std::string(td.child("pre").text().get())
                             : std::string(td.text().get());
    }
    report.body.push_back(row);
  }
  return report;
}

}  // namespace tarvex::test_support
