// The report document: the saved file's first lines and skeleton, headers with their contents
// entries, one-row tables with their widths, preformatted and graph cells.
// The faults test checks whole saved reports against the XHTML 1.0 Strict DTD.
#include "xhtml/xhtml_document.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "automation/app.h"
#include "companions/registration.h"
#include "contracts/companions.h"
#include "contracts/late_bound.h"
#include "support/test_support.h"

namespace tarvex::xhtml {
namespace {

using automation::Array;
using automation::Null;
using automation::ObjectRef;
using automation::Variant;

// A node as raw XML, without indentation or line ends.
std::string xml(pugi::xml_node node) {
  std::ostringstream out;
  node.print(out, "", pugi::format_raw);
  return out.str();
}

class XHTMLDocumentTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { companions::register_companions(); }

  std::string saved_text(const std::string& name = "report.xhtml") {
    report->Save(dir.file(name));
    return test_support::file_text(dir.file(name));
  }
  pugi::xml_document saved() {
    std::string text = saved_text();
    pugi::xml_document document;
    auto ok = document.load_string(text.c_str(), pugi::parse_default | pugi::parse_comments);
    EXPECT_TRUE(ok) << ok.description() << " at " << ok.offset;
    return document;
  }
  // The body's elements after the table of contents, one a line.
  std::string body_after_contents() {
    pugi::xml_document document = saved();
    std::string out;
    pugi::xml_node contents =
        document.document_element().child("body").find_child_by_attribute("id", "tableofcontents");
    for (pugi::xml_node n = contents.next_sibling(); n; n = n.next_sibling()) {
      out += xml(n) + "\n";
    }
    return out;
  }

  test_support::ErrorLog log;
  test_support::ScratchDir dir;
  std::shared_ptr<XHTMLDocument> report = XHTMLDocument::create();
};

TEST_F(XHTMLDocumentTest, new_document_saves_declaration_doctype_and_skeleton) {
  const std::string first_lines =
      "<?xml version=\"1.0\"?>\r\n"
      "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
      "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\r\n<html";
  EXPECT_EQ(saved_text().substr(0, first_lines.size()), first_lines);
  EXPECT_EQ(xml(saved().document_element()),
            "<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\"><head><title/><style "
            "type=\"text/css\"/></head><body><h1>" +
                automation::App()->title() +
                " XHTML Report</h1><h2>Table of Contents</h2><div style=\"text-align: right\"><a "
                "href=\"http://www.w3.org/TR/xhtml1/\">Valid XHTML 1.0</a></div><div "
                "id=\"tableofcontents\"/></body></html>");
  // Saving changes nothing: a second file is the same.
  EXPECT_EQ(saved_text("again.xhtml"), saved_text());
  EXPECT_TRUE(log.entries.empty());
}

TEST_F(XHTMLDocumentTest, headers_get_unique_ids_linked_from_their_contents_entries) {
  struct Case {
    std::function<void(XHTMLDocument&)> add;
    std::string level, text;  // the text as saved
  };
  const Case cases[] = {
      {[](XHTMLDocument& r) { r.AddBodyHeader("Macros", 2); }, "2", "Macros"},
      {[](XHTMLDocument& r) { r.AddBodyHeader("Macros", 2); }, "2", "Macros"},
      {[](XHTMLDocument& r) { automation::call(r.shared_from_this(), "addbodyheader", "X"); }, "1",
       "X"},
      {[](XHTMLDocument& r) { r.AddBodyHeader("A & <B>", 7); }, "7", "A &amp; &lt;B&gt;"},
  };
  for (const Case& c : cases) c.add(*report);

  pugi::xml_document document = saved();
  pugi::xml_node header =
      document.document_element().child("body").find_child_by_attribute("id", "tableofcontents");
  pugi::xml_node entry = header.first_child();
  const std::regex id_form("ID[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
  std::set<std::string> ids;
  for (const Case& c : cases) {
    header = header.next_sibling();
    ASSERT_TRUE(header && entry) << c.text;
    std::string id = header.attribute("id").value();
    EXPECT_TRUE(std::regex_match(id, id_form)) << id;
    EXPECT_TRUE(ids.insert(id).second) << "repeated id " << id;
    EXPECT_EQ(xml(header), "<h" + c.level + " id=\"" + id + "\">" + c.text + "</h" + c.level + ">");
    EXPECT_EQ(xml(entry), "<div class=\"h" + c.level + "intoc\"><a href=\"#" + id + "\">" + c.text +
                              "</a></div>");
    entry = entry.next_sibling();
  }
  EXPECT_FALSE(header.next_sibling());
  EXPECT_FALSE(entry);
}

std::string cells(const std::string& width, const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) {
    out += "<td style=\"width: " + width + (t.empty() ? "\"/>" : "\">" + t + "</td>");
  }
  return out;
}

std::string bar(const std::string& filled, const std::string& padding) {
  return "<td class=\"itemcountingraph\" style=\"width: " + filled +
         "\"/><td class=\"paddingingraph\" style=\"width: " + padding + "\"/>";
}

TEST_F(XHTMLDocumentTest, values_become_cells_of_equal_share) {
  const std::pair<std::vector<Variant>, std::string> cases[] = {
      {{}, ""},
      {{Null{}, 2.5, "<b>7 & more</b>"},
       cells("33.33%", {"", "2.5", "&lt;b&gt;7 &amp; more&lt;/b&gt;"})},
      {{"<preserve>\xC3\xA9 line 1\r\n  line 2</preserve>", "<Preserve>x</Preserve>"},
       "<td style=\"width: 50.00%\"><pre>\xC3\xA9 line 1\r\n  line 2</pre></td>" +
           cells("50.00%", {"&lt;Preserve&gt;x&lt;/Preserve&gt;"})},
      {{"<graph>0.25</graph>", "x"}, bar("12.5%", "37.5%") + cells("50.00%", {"x"})},
      {{"<graph>1.0000001</graph>"}, bar("100.0%", "0.0%")},
  };
  std::string expected;
  for (const auto& [values, row] : cases) {
    report->AddSingleRowTableToBody(Variant(Array::of(values)));
    expected += "<table>" + (row.empty() ? "<tr/>" : "<tr>" + row + "</tr>") + "</table>\n";
  }
  EXPECT_EQ(body_after_contents(), expected);
  EXPECT_TRUE(log.entries.empty());
}

}  // namespace
}  // namespace tarvex::xhtml
