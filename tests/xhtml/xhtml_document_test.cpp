// The report document: skeleton, head, headers with their contents entries, paragraphs, the
// saved file, error logging, and validity against the XHTML 1.0 Strict DTD.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdio>
#include <regex>
#include <set>

#include "automation/app.h"
#include "automation/error.h"
#include "contracts/companions.h"
#include "contracts/late_bound.h"
#include "report_fixture.h"

namespace tarvex::xhtml::testing {
namespace {

using automation::Array;
using automation::ObjectRef;
using automation::Variant;

const std::string kFirstLines =
    "<?xml version=\"1.0\"?>\r\n"
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
    "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\r\n";

using XHTMLDocumentTest = ReportTest;

TEST_F(XHTMLDocumentTest, new_document_saves_declaration_doctype_and_skeleton) {
  std::string text = saved_text();
  ASSERT_EQ(text.substr(0, kFirstLines.size()), kFirstLines);
  EXPECT_EQ(text.substr(kFirstLines.size(), 5), "<html");

  pugi::xml_document document = saved();
  EXPECT_EQ(
      outline(document.document_element()),
      "html[xmlns=http://www.w3.org/1999/xhtml,lang=en]("
      "head(title style[type=text/css]) "
      "body(h1'" +
          automation::App()->title() +
          " XHTML Report' h2'Table of Contents' "
          "div[style=text-align: right](a[href=http://www.w3.org/TR/xhtml1/]'Valid XHTML 1.0') "
          "div[id=tableofcontents]))");
  EXPECT_TRUE(logged.empty());
}

TEST_F(XHTMLDocumentTest, title_is_replaced_and_style_sheets_pile_up_unescaped) {
  report().SetTitle("first");
  report().SetTitle("Report on <SRV.Sales> & more");
  report().SetStyle("td > pre { font: \"A & B\"; }");
  report().SetStyle("");
  std::string text = saved_text();
  EXPECT_NE(text.find("<!--td > pre { font: \"A & B\"; }--><!---->"), std::string::npos) << text;
  pugi::xml_document document = saved();
  pugi::xml_node head = document.document_element().child("head");
  EXPECT_EQ(outline(head),
            "head(title'Report on <SRV.Sales> & more' "
            "style[type=text/css](<!--td > pre { font: \"A & B\"; }--> <!---->))");
}

TEST_F(XHTMLDocumentTest, headers_get_unique_ids_linked_from_their_contents_entries) {
  struct Case {
    std::function<void(XHTMLDocument&)> add;
    std::string level;
    std::string text;
  };
  const Case cases[] = {
      {[](XHTMLDocument& r) { r.AddBodyHeader("Macros", 2); }, "2", "Macros"},
      {[](XHTMLDocument& r) { r.AddBodyHeader("Macros", 2); }, "2", "Macros"},
      {[](XHTMLDocument& r) { r.AddBodyHeader("Front"); }, "1", "Front"},
      {[](XHTMLDocument& r) { automation::call(r.shared_from_this(), "addbodyheader", "X"); }, "1",
       "X"},
      {[](XHTMLDocument& r) { automation::call(r.shared_from_this(), "AddBodyHeader", "Z", 0); },
       "0", "Z"},
      {[](XHTMLDocument& r) { r.AddBodyHeader("A & <B>", 7); }, "7", "A & <B>"},
      {[](XHTMLDocument& r) { r.AddBodyHeader("", -3); }, "-3", ""},
  };
  for (const Case& c : cases) c.add(report());

  pugi::xml_document document = saved();
  pugi::xml_node body = document.document_element().child("body");
  pugi::xml_node header = body.find_child_by_attribute("div", "id", "tableofcontents");
  pugi::xml_node entry = header.first_child();
  const std::regex id_form(
      "ID[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-"
      "[0-9A-Fa-f]{12}");
  std::set<std::string> ids;
  for (const Case& c : cases) {
    header = header.next_sibling();
    ASSERT_TRUE(header && entry) << c.text;
    std::string id = header.attribute("id").value();
    EXPECT_TRUE(std::regex_match(id, id_form)) << id;
    EXPECT_TRUE(ids.insert(id).second) << "repeated id " << id;
    EXPECT_EQ(outline(header),
              "h" + c.level + "[id=" + id + "]" + (c.text.empty() ? "" : "'" + c.text + "'"));
    EXPECT_EQ(outline(entry), "div[class=h" + c.level + "intoc](a[href=#" + id + "]" +
                                  (c.text.empty() ? "" : "'" + c.text + "'") + ")");
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
  report().AddBodyHeader("x", 3);
  pugi::xml_document document = saved();
  pugi::xml_node body = document.document_element().child("body");
  EXPECT_STREQ(body.child("h3").attribute("id").value(), "ID12-3");
  EXPECT_STREQ(
      body.child("div").next_sibling("div").child("div").child("a").attribute("href").value(),
      "#ID12-3");
}

TEST_F(XHTMLDocumentTest, body_keeps_call_order_and_paragraph_texts) {
  report().AddBodyParagraph("");
  report().AddSingleRowTableToBody(Variant(Array::of({Variant("cell")})));
  report().AddBodyParagraph("line 1\r\nline 2\n  indented <b>&amp;");
  automation::call(report().shared_from_this(), "AddBodyParagraph", "by name");
  pugi::xml_document document = saved();
  pugi::xml_node contents =
      document.document_element().child("body").find_child_by_attribute("id", "tableofcontents");
  std::string after;
  for (pugi::xml_node n = contents.next_sibling(); n; n = n.next_sibling()) {
    after += outline(n) + "\n";
  }
  EXPECT_EQ(after,
            "p\n"
            "table(tr(td[style=width: 100.00%]'cell'))\n"
            "p'line 1\r\nline 2\n  indented <b>&amp;'\n"
            "p'by name'\n");
}

TEST_F(XHTMLDocumentTest, saving_twice_writes_the_same_text_and_changes_nothing) {
  report().AddBodyHeader("Section");
  std::string first = saved_text("_1");
  std::string second = saved_text("_2");
  EXPECT_EQ(first, second);
  EXPECT_EQ(
      automation::call(report().shared_from_this(), "Save", file_path("_3").string()).is_empty(),
      true);
  EXPECT_EQ(saved_text("_3"), first);
}

// Forwards to the real XmlUtility, but once armed raises when asked for an element named
// `refused`, and hands out, for elements named `sabotaged`, a node that refuses every member call.
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
    if (armed_ && name == refused_) fail();
    ObjectRef real_parent = unwrap(parent);
    ObjectRef element = real_.AppendChildElement(real_parent, name, ns);
    if (name == sabotaged_) return std::make_shared<RefusingNode>(element);
    return element;
  }
  ObjectRef SetElementAttribute(ObjectRef& element, const std::string& name,
                                const std::string& value) override {
    ObjectRef real_element = unwrap(element);
    real_.SetElementAttribute(real_element, name, value);
    return element;
  }
  std::string DocumentText(ObjectRef& document) override { return real_.DocumentText(document); }
  // From now on refuses the element named so.
  void arm() { armed_ = true; }

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
  bool armed_ = false;
  std::string refused_;
  std::string sabotaged_;
};

TEST_F(XHTMLDocumentTest, every_procedure_logs_its_error_under_its_own_name) {
  struct Case {
    std::string procedure;
    std::string refused;    // element that XmlUtility refuses to make
    std::string sabotaged;  // element whose members all fail
    std::function<void(XHTMLDocument&)> action;
  };
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
      {"Save", "", "",
       [this](XHTMLDocument& r) { r.Save((file_path("") / "missing" / "r.xhtml").string()); }},
  };
  contracts::XmlUtility& real = automation::shared<contracts::XmlUtility>();
  for (const Case& c : cases) {
    auto faulty_xml = std::make_shared<FaultyXml>(real, c.refused, c.sabotaged);
    automation::ScopedShared<contracts::XmlUtility> faulty(faulty_xml);
    std::shared_ptr<XHTMLDocument> document = XHTMLDocument::create();
    faulty_xml->arm();
    logged.clear();
    std::int32_t number = error_number_of([&] { c.action(*document); });
    EXPECT_NE(number, 0) << c.procedure;
    if (!c.refused.empty() || !c.sabotaged.empty()) {
      EXPECT_EQ(number, FaultyXml::kNumber) << c.procedure;
    }
    ASSERT_FALSE(logged.empty()) << c.procedure;
    const LoggedError& first = logged.front();
    EXPECT_EQ(first.number, number);
    EXPECT_EQ(first.application, ObjectRef(automation::App()));
    EXPECT_EQ(first.line, 0);
    EXPECT_EQ(first.project, "Tarvex_83");
    EXPECT_EQ(first.module, "XHTMLDocument");
    EXPECT_EQ(first.procedure, c.procedure);
  }
}

TEST_F(XHTMLDocumentTest, construction_fails_without_the_document_object_model) {
  automation::ScopedProgId no_dom(std::string(contracts::kDomProgId), []() -> ObjectRef {
    automation::raise(automation::RuntimeError::CannotCreateObject);
  });
  EXPECT_EQ(error_number_of([] { XHTMLDocument::create(); }), 429);
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].procedure, "Class_Initialize");
}

// Runs a command and gives its exit status and what it wrote.
std::pair<int, std::string> run(const std::string& command) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, "cannot run " + command};
  char buffer[4096];
  while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST_F(XHTMLDocumentTest, saved_report_is_valid_xhtml_1_0_strict) {
  report().SetTitle("Tarvex report on SRV.Sales");
  report().SetStyle("body { color: black; }\n.h2intoc { margin-left: 1em; }");
  report().AddBodyHeader("Report & <front> matter");
  report().AddSingleRowTableToBody(Variant(Array::of({"Time stamp", "2026-03-29 02:30:05"})));
  report().AddSingleRowTableToBody(
      Variant(Array::of({"Error reporting on macro", "Bad \x01 byte", -2147220503, "S"})));
  report().AddBodyHeader("Macros", 2);
  report().AddBodyParagraph("3 macros\r\nfound");
  report().AddSingleRowTableToBody(
      Variant(Array::of({"Execution command", "<preserve>run --all\r\n  now</preserve>"})));
  report().AddSingleRowTableToBody(Variant(Array::of({"<graph>0.4</graph>", Variant()})));
  report().AddBodyHeader("Step", 5);
  std::filesystem::path path = file_path("");
  report().Save(path.string());

  ASSERT_TRUE(std::filesystem::exists(TARVEX_XHTML_DTD)) << TARVEX_XHTML_DTD;
  auto [status, output] = run(std::string(TARVEX_XMLLINT) + " --noout --nonet --dtdvalid " +
                              TARVEX_XHTML_DTD + " " + path.string());
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(output, "");
}

}  // namespace
}  // namespace tarvex::xhtml::testing
