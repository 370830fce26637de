// The report document: the saved file's first lines and skeleton, headers with their contents
// entries, one-row tables with their widths, preformatted and graph cells, errors logged under
// their procedure, and validity against the XHTML 1.0 Strict DTD.
#include "xhtml/xhtml_document.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <pugixml.hpp>
#include <regex>
#include <set>

#include "automation/app.h"
#include "companions/registration.h"
#include "companions/utilities/array_utility.h"
#include "contracts/companions.h"
#include "contracts/late_bound.h"
#include "support/test_support.h"

namespace tarvex::xhtml {
namespace {

using automation::Array;
using automation::Null;
using automation::ObjectRef;
using automation::Variant;
using test_support::error_number_of;

// An element and everything below it: name, [attributes], 'text' of a lone text child,
// <!--comment-->, (children separated by blanks).
std::string outline(pugi::xml_node node) {
  if (node.type() == pugi::node_pcdata) return fmt::format("'{}'", node.value());
  if (node.type() == pugi::node_comment) return fmt::format("<!--{}-->", node.value());
  std::string out = node.name();
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
    out += a == node.first_attribute() ? '[' : ',';
    out += a.name();
    out += '=';
    out += a.value();
    if (!a.next_attribute()) out += "]";
  }
  if (node.first_child() && node.first_child() == node.last_child() &&
      node.first_child().type() == pugi::node_pcdata) {
    return out + outline(node.first_child());
  }
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    out += child == node.first_child() ? '(' : ' ';
    out += outline(child);
    if (!child.next_sibling()) out += ")";
  }
  return out;
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
  // The body's elements after the table of contents, one outline a line.
  std::string body_after_contents() {
    pugi::xml_document document = saved();
    std::string out;
    pugi::xml_node contents =
        document.document_element().child("body").find_child_by_attribute("id", "tableofcontents");
    for (pugi::xml_node n = contents.next_sibling(); n; n = n.next_sibling()) {
      out += outline(n) + "\n";
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
  EXPECT_EQ(outline(saved().document_element()),
            "html[xmlns=http://www.w3.org/1999/xhtml,lang=en](head(title style[type=text/css]) "
            "body(h1'" +
                automation::App()->title() +
                " XHTML Report' h2'Table of Contents' div[style=text-align: right]"
                "(a[href=http://www.w3.org/TR/xhtml1/]'Valid XHTML 1.0') "
                "div[id=tableofcontents]))");
  // Saving changes nothing: a second file is the same.
  EXPECT_EQ(saved_text("again.xhtml"), saved_text());
  EXPECT_TRUE(log.entries.empty());
}

TEST_F(XHTMLDocumentTest, title_is_replaced_and_style_sheets_pile_up_unescaped) {
  report->SetTitle("first");
  report->SetTitle("Report on <SRV.Sales> & more");
  report->SetStyle("td > pre { font: \"A & B\"; }");
  report->SetStyle("");
  EXPECT_NE(saved_text().find("<!--td > pre { font: \"A & B\"; }--><!---->"), std::string::npos);
  EXPECT_EQ(outline(saved().document_element().child("head")),
            "head(title'Report on <SRV.Sales> & more' "
            "style[type=text/css](<!--td > pre { font: \"A & B\"; }--> <!---->))");
}

TEST_F(XHTMLDocumentTest, headers_get_unique_ids_linked_from_their_contents_entries) {
  struct Case {
    std::function<void(XHTMLDocument&)> add;
    std::string level, text;
  };
  const Case cases[] = {
      {[](XHTMLDocument& r) { r.AddBodyHeader("Macros", 2); }, "2", "Macros"},
      {[](XHTMLDocument& r) { r.AddBodyHeader("Macros", 2); }, "2", "Macros"},
      {[](XHTMLDocument& r) { automation::call(r.shared_from_this(), "addbodyheader", "X"); }, "1",
       "X"},
      {[](XHTMLDocument& r) { r.AddBodyHeader("A & <B>", 7); }, "7", "A & <B>"},
      {[](XHTMLDocument& r) { r.AddBodyHeader("", -3); }, "-3", ""},
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
    const std::string text = c.text.empty() ? "" : "'" + c.text + "'";
    EXPECT_EQ(outline(header), "h" + c.level + "[id=" + id + "]" + text);
    EXPECT_EQ(outline(entry), "div[class=h" + c.level + "intoc](a[href=#" + id + "]" + text + ")");
    entry = entry.next_sibling();
  }
  EXPECT_FALSE(header.next_sibling());
  EXPECT_FALSE(entry);
}

TEST_F(XHTMLDocumentTest, header_id_drops_every_brace_of_the_guid) {
  struct Braced : contracts::GuidGenerator {
    std::string NewGuidText() override { return "{{1}2-}3}"; }
  };
  automation::ScopedShared<contracts::GuidGenerator> guids(std::make_shared<Braced>());
  report->AddBodyHeader("x", 3);
  EXPECT_NE(saved_text().find("<a href=\"#ID12-3\">x</a>"), std::string::npos);
  EXPECT_EQ(body_after_contents(), "h3[id=ID12-3]'x'\n");
}

TEST_F(XHTMLDocumentTest, body_keeps_call_order_and_paragraph_texts) {
  report->AddBodyParagraph("");
  report->AddSingleRowTableToBody(Variant(Array::of({Variant("cell")})));
  report->AddBodyParagraph("line 1\r\nline 2\n  indented <b>&amp;");
  EXPECT_EQ(body_after_contents(),
            "p\ntable(tr(td[style=width: 100.00%]'cell'))\np'line 1\r\nline 2\n  indented "
            "<b>&amp;'\n");
}

std::string cells(const std::string& width, const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) {
    if (!out.empty()) out += ' ';
    out += "td[style=width: " + width + "]";
    if (!t.empty()) out += "'" + t + "'";
  }
  return out;
}

std::string bar(const std::string& filled, const std::string& padding) {
  return "td[class=itemcountingraph,style=width: " + filled +
         "] td[class=paddingingraph,style=width: " + padding + "]";
}

TEST_F(XHTMLDocumentTest, values_become_cells_of_equal_share) {
  const std::pair<std::vector<Variant>, std::string> cases[] = {
      {{}, ""},
      {{"only"}, cells("100.00%", {"only"})},
      {{Null{}, 2.5, true}, cells("33.33%", {"", "2.5", "True"})},
      {{"1", "2", "3", "4", "5", "6", "<b>7 & more</b>"},
       cells("14.29%", {"1", "2", "3", "4", "5", "6", "<b>7 & more</b>"})},
      {{"<preserve>line 1\r\n  line 2</preserve>"},
       "td[style=width: 100.00%](pre'line 1\r\n  line 2')"},
      {{"<preserve></preserve>", "<preserve>keep12345678901"},
       "td[style=width: 50.00%](pre) td[style=width: 50.00%](pre'keep')"},
      {{"<preserve>\xC3\xA9\xE2\x82\xAC</preserve>"},
       "td[style=width: 100.00%](pre'\xC3\xA9\xE2\x82\xAC')"},
      {{"<Preserve>x</Preserve>", "<GRAPH>1</GRAPH>"},
       cells("50.00%", {"<Preserve>x</Preserve>", "<GRAPH>1</GRAPH>"})},
      {{"<graph>0.25</graph>", "x"}, bar("12.5%", "37.5%") + " " + cells("50.00%", {"x"})},
      {{"<graph>1.2</graph>"}, bar("120.0%", "-20.0%")},
      {{"<graph>1.0000001</graph>"}, bar("100.0%", "0.0%")},
      {{"<graph>0.5ABCDEFGH"}, bar("50.0%", "50.0%")},
  };
  std::string expected;
  for (const auto& [values, row] : cases) {
    report->AddSingleRowTableToBody(Variant(Array::of(values)));
    expected += "table(tr" + (row.empty() ? "" : "(" + row + ")") + ")\n";
  }
  EXPECT_EQ(body_after_contents(), expected);
  EXPECT_TRUE(log.entries.empty());
}

// Counts one element more than the array holds.
class Overcounting : public companions::utilities::ArrayUtilityImpl {
  std::int32_t ElementCount(const Variant& a) override {
    return ArrayUtilityImpl::ElementCount(a) + 1;
  }
};

TEST_F(XHTMLDocumentTest, table_failures_keep_the_cells_added_before_and_are_logged) {
  struct Case {
    const char* what;
    Variant values;
    std::int32_t number;
    std::string row;  // the row as it stays
    bool overcount = false;
  };
  const Case cases[] = {
      {"preserved value of 20 characters", Variant(Array::of({"a", "<preserve>0123456789"})), 5,
       "tr(" + cells("50.00%", {"a"}) + " td[style=width: 50.00%](pre))"},
      {"graph value of 14 characters", Variant(Array::of({"<graph>0.5</g>", "b"})), 5, "tr"},
      {"graph value that is not a number", Variant(Array::of({"x", "<graph>abc</graph>"})), 13,
       "tr(" + cells("50.00%", {"x"}) + ")"},
      {"graph value without a number", Variant(Array::of({"<graph></graph>"})), 13, "tr"},
      {"array not starting at 0", Variant(Array({{1, 2}})), 9, "tr"},
      {"fewer elements than counted", Variant(Array::of({"a"})), 9,
       "tr(" + cells("50.00%", {"a"}) + ")", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::optional<automation::ScopedShared<contracts::ArrayUtility>> counting;
    if (c.overcount) counting.emplace(std::make_shared<Overcounting>());
    log.entries.clear();
    EXPECT_EQ(error_number_of([&] { report->AddSingleRowTableToBody(c.values); }), c.number);
    pugi::xml_document document = saved();
    pugi::xml_node table = document.document_element().child("body").last_child();
    EXPECT_EQ(outline(table), "table(" + c.row + ")");
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].number, c.number);
    EXPECT_EQ(log.entries[0].module, "XHTMLDocument");
    EXPECT_EQ(log.entries[0].procedure, "AddSingleRowTableToBody");
    EXPECT_EQ(log.entries[0].application, ObjectRef(automation::App()));
  }
}

// Forwards to the real XmlUtility; once armed, refuses to make an element named `refused`, and
// hands out, for elements named `sabotaged`, a node that refuses every member call.
class FaultyXml : public contracts::XmlUtility {
 public:
  static constexpr std::int32_t kNumber = automation::kObjectErrorBase + 77;
  FaultyXml(contracts::XmlUtility& real, std::string refused, std::string sabotaged)
      : real_(real), refused_(std::move(refused)), sabotaged_(std::move(sabotaged)) {}

  ObjectRef AppendRootElement(ObjectRef& document, const std::string& name,
                              const Variant& ns) override {
    return real_.AppendRootElement(document, name, ns);
  }
  ObjectRef AppendChildElement(ObjectRef& parent, const std::string& name,
                               const Variant& ns) override {
    if (armed && name == refused_) fail();
    ObjectRef real_parent = unwrap(parent);
    ObjectRef element = real_.AppendChildElement(real_parent, name, ns);
    return name == sabotaged_ ? std::make_shared<RefusingNode>(element) : element;
  }
  ObjectRef SetElementAttribute(ObjectRef& element, const std::string& name,
                                const std::string& value) override {
    ObjectRef real_element = unwrap(element);
    real_.SetElementAttribute(real_element, name, value);
    return element;
  }
  std::string DocumentText(ObjectRef& document) override { return real_.DocumentText(document); }
  bool armed = false;

 private:
  struct RefusingNode : automation::Object {
    explicit RefusingNode(ObjectRef real) : real(std::move(real)) {}
    Variant invoke(std::string_view, automation::CallKind, automation::Args&) override { fail(); }
    ObjectRef real;
  };
  [[noreturn]] static void fail() { throw automation::Error(kNumber, "FaultyXml", "refused"); }
  static ObjectRef unwrap(const ObjectRef& node) {
    auto refusing = std::dynamic_pointer_cast<RefusingNode>(node);
    return refusing ? refusing->real : node;
  }
  contracts::XmlUtility& real_;
  std::string refused_, sabotaged_;
};

TEST_F(XHTMLDocumentTest, every_procedure_logs_its_error_under_its_own_name) {
  struct Case {
    std::string procedure;
    std::string refused, sabotaged;
    std::function<void(XHTMLDocument&)> action;
    std::int32_t number = FaultyXml::kNumber;
  };
  const std::string unwritable = dir.file("missing/r.xhtml");
  const Case cases[] = {
      {"Class_Initialize", "body", "", [](XHTMLDocument&) { XHTMLDocument::create(); }},
      {"SetTitle", "", "title", [](XHTMLDocument& r) { r.SetTitle("t"); }},
      {"SetStyle", "", "style", [](XHTMLDocument& r) { r.SetStyle("s"); }},
      {"AddBodyParagraph", "", "p", [](XHTMLDocument& r) { r.AddBodyParagraph("p"); }},
      {"AddBodyHeader", "", "h3", [](XHTMLDocument& r) { r.AddBodyHeader("h", 3); }},
      {"AddBodyHeader", "div", "",
       [](XHTMLDocument& r) { automation::call(r.shared_from_this(), "AddBodyHeader", "h"); }},
      {"AddSingleRowTableToBody", "tr", "",
       [](XHTMLDocument& r) { r.AddSingleRowTableToBody(Variant(Array())); }},
      {"Save", "", "", [&](XHTMLDocument& r) { r.Save(unwritable); }, 0},
  };
  contracts::XmlUtility& real = automation::shared<contracts::XmlUtility>();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.procedure);
    auto faulty_xml = std::make_shared<FaultyXml>(real, c.refused, c.sabotaged);
    automation::ScopedShared<contracts::XmlUtility> faulty(faulty_xml);
    std::shared_ptr<XHTMLDocument> document = XHTMLDocument::create();
    faulty_xml->armed = true;
    log.entries.clear();
    std::int32_t number = error_number_of([&] { c.action(*document); });
    EXPECT_NE(number, 0);
    if (c.number) {
      EXPECT_EQ(number, c.number);
    }
    ASSERT_FALSE(log.entries.empty());
    const test_support::LoggedError& first = log.entries.front();
    EXPECT_EQ(first.brief(), c.procedure + "@0:" + std::to_string(number));
    EXPECT_EQ(first.application, ObjectRef(automation::App()));
    EXPECT_EQ(first.project, "Tarvex_83");
    EXPECT_EQ(first.module, "XHTMLDocument");
  }
}

TEST_F(XHTMLDocumentTest, saved_report_is_valid_xhtml_1_0_strict) {
  report->SetTitle("Tarvex report on SRV.Sales");
  report->SetStyle("body { color: black; }\n.h2intoc { margin-left: 1em; }");
  report->AddBodyHeader("Report & <front> matter");
  report->AddSingleRowTableToBody(
      Variant(Array::of({"Error reporting on macro", "Bad \x01 byte", -2147220503, "S"})));
  report->AddBodyHeader("Macros", 2);
  report->AddBodyParagraph("3 macros\r\nfound");
  report->AddSingleRowTableToBody(
      Variant(Array::of({"Execution command", "<preserve>run --all\r\n  now</preserve>"})));
  report->AddSingleRowTableToBody(Variant(Array::of({"<graph>0.4</graph>", Variant()})));
  report->AddBodyHeader("Step", 5);
  report->Save(dir.file("report.xhtml"));

  ASSERT_TRUE(std::filesystem::exists(TARVEX_XHTML_DTD)) << TARVEX_XHTML_DTD;
  const std::string command = std::string(TARVEX_XMLLINT) + " --noout --nonet --dtdvalid " +
                              TARVEX_XHTML_DTD + " '" + dir.file("report.xhtml") + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_TRUE(pipe) << command;
  std::string output;
  char buffer[4096];
  while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  int status = pclose(pipe);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  EXPECT_EQ(output, "");
}

}  // namespace
}  // namespace tarvex::xhtml
