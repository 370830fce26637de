// The document object model and XmlUtility: texts XML cannot carry are cleaned, and the members
// behave as the report expects.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "automation/convert.h"
#include "automation/error.h"
#include "automation/registry.h"
#include "companions/dom/dom_node.h"
#include "companions/dom/xml_utility.h"
#include "companions/registration.h"
#include "contracts/late_bound.h"
#include "support/test_support.h"

namespace tarvex::companions::dom {
namespace {

using automation::ObjectRef;
using automation::Variant;

class DomTest : public ::testing::Test {
 protected:
  DomTest() {
    register_dom();
    document = automation::create_object(contracts::kDomProgId);
    html = xml.AppendRootElement(document, "html", Variant());
    body = xml.AppendChildElement(html, "body", Variant());
  }

  ObjectRef element(ObjectRef& parent, const std::string& name) {
    return xml.AppendChildElement(parent, name, Variant());
  }
  std::string text_of(const ObjectRef& node) {
    return automation::to_text(automation::get(node, "Text"));
  }
  // Raises std::logic_error naming the broken invariant.
  void check() const { DomNode::from(document.get())->tree().check_invariants(); }

  // Parses DocumentText as XML, keeping comments and white-space-only texts.
  pugi::xml_document parsed() {
    std::string markup = xml.DocumentText(document);
    pugi::xml_document result;
    pugi::xml_parse_result ok = result.load_string(
        markup.c_str(), pugi::parse_default | pugi::parse_comments | pugi::parse_ws_pcdata);
    EXPECT_TRUE(ok) << ok.description() << " at " << ok.offset << " in\n" << markup;
    return result;
  }

  XmlUtilityImpl xml;
  ObjectRef document;
  ObjectRef html;
  ObjectRef body;
};

struct HostileText {
  const char* what;
  std::string text;
  std::string parsed;  // what a parser gives back
};

const std::vector<HostileText>& hostile_texts() {
  static const std::vector<HostileText> cases = {
      {"markup characters", "<b>&amp;</b> \"q\" 'a' > <", "<b>&amp;</b> \"q\" 'a' > <"},
      {"CR LF, lone CR and LF, TAB", "1\r\n2\r3\n4\t5", "1\r\n2\r3\n4\t5"},
      {"controls", std::string("a\001b\037c\0d", 7), "a\uFFFDb\uFFFDc\uFFFDd"},
      {"U+FFFE and U+FFFF", "x\uFFFEy\xEF\xBF\xBFz", "x\uFFFDy\uFFFDz"},
      {"lone surrogate", "a\355\240\200b", "a\uFFFD\uFFFD\uFFFDb"},
      {"invalid UTF-8", "a\303b\377", "a\uFFFDb\uFFFD"},
  };
  return cases;
}

TEST_F(DomTest, hostile_texts_come_back_from_element_text_and_attribute_value) {
  for (const HostileText& c : hostile_texts()) {
    ObjectRef p = element(body, "p");
    automation::put(p, "Text", c.text);
    xml.SetElementAttribute(p, "title", c.text);
  }
  pugi::xml_document result = parsed();
  pugi::xml_node p = result.document_element().child("body").child("p");
  for (const HostileText& c : hostile_texts()) {
    ASSERT_TRUE(p) << c.what;
    EXPECT_EQ(std::string(p.text().get()), c.parsed) << c.what;
    EXPECT_EQ(std::string(p.attribute("title").value()), c.parsed) << c.what;
    p = p.next_sibling("p");
  }
}

TEST_F(DomTest, moving_children_keeps_both_lists_in_order) {
  ObjectRef from = element(body, "div");
  ObjectRef to = element(body, "div");
  std::vector<ObjectRef> p;
  for (int i = 0; i < 5; ++i) {
    p.push_back(element(from, "p"));
    automation::put(p.back(), "Text", std::to_string(i));
  }
  for (int i : {2, 0, 4}) automation::call(to, "appendchild", p[i]);
  automation::call(to, "appendchild", p[4]);  // already last: stays so
  check();                                    // before a broken ring could loop
  EXPECT_EQ(text_of(from), "13");
  EXPECT_EQ(text_of(to), "204");
  automation::call(from, "appendchild", p[1]);
  EXPECT_EQ(text_of(from), "31");
  check();
}

// A text becomes a node of its own when something follows it, and goes with everything else
// when the text is set again; a comment moved away leaves an element of elements only.
TEST_F(DomTest, texts_children_and_comments_keep_the_tree_whole) {
  ObjectRef p = element(body, "p");
  automation::put(p, "Text", "a");
  ObjectRef b = element(p, "b");
  automation::put(b, "Text", "b");
  check();
  ObjectRef comment = automation::call(document, "createComment", "c").as_object();
  automation::call(body, "appendchild", comment);
  check();
  EXPECT_EQ(xml.DocumentText(document), "<html>\n  <body><p>a<b>b</b></p><!--c--></body>\n</html>");
  automation::call(p, "appendchild", comment);
  check();
  EXPECT_EQ(xml.DocumentText(document),
            "<html>\n  <body>\n    <p>a<b>b</b><!--c--></p>\n  </body>\n</html>");
  automation::put(p, "Text", "new");  // b and the comment leave the tree, still usable
  check();
  automation::call(body, "appendchild", b);
  check();
  EXPECT_EQ(text_of(body), "newb");
  EXPECT_EQ(xml.DocumentText(document),
            "<html>\n  <body>\n    <p>new</p>\n    <b>b</b>\n  </body>\n</html>");
}

TEST_F(DomTest, refuses_what_would_not_be_well_formed) {
  ObjectRef other = automation::create_object(contracts::kDomProgId);
  ObjectRef foreign = xml.AppendRootElement(other, "x", Variant());
  struct Case {
    const char* what;
    std::function<void()> action;
    std::int32_t number;
  };
  const Case cases[] = {
      {"second document element", [&] { xml.AppendRootElement(document, "x", Variant()); }, 5},
      {"child of the document", [&] { xml.AppendChildElement(document, "x", Variant()); }, 5},
      {"name with a blank", [&] { element(body, "a b"); }, 5},
      {"name starting with a digit", [&] { element(body, "1a"); }, 5},
      {"empty name", [&] { element(body, ""); }, 5},
      {"attribute name with a quote", [&] { xml.SetElementAttribute(body, "a\"", "v"); }, 5},
      {"namespace", [&] { xml.AppendChildElement(body, "x", Variant("urn:x")); }, 5},
      {"node of another document", [&] { automation::call(body, "appendchild", foreign); }, 5},
      {"element into its own descendant", [&] { automation::call(body, "appendchild", html); }, 5},
      {"comment from an element", [&] { automation::call(body, "createComment", "x"); }, 438},
      {"attribute on the document", [&] { xml.SetElementAttribute(document, "a", "v"); }, 13},
      {"not a node", [&] { automation::call(body, "appendchild", Variant("text")); }, 424},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(test_support::error_number_of(c.action), c.number) << c.what;
  }
  pugi::xml_document result = parsed();
  EXPECT_STREQ(result.document_element().name(), "html");
}

TEST_F(DomTest, attributes_keep_their_order_and_a_second_set_replaces_the_value) {
  xml.SetElementAttribute(html, "xmlns", "http://www.w3.org/1999/xhtml");
  xml.SetElementAttribute(html, "lang", "en");
  xml.SetElementAttribute(html, "xmlns", "urn:replaced");
  std::string markup = xml.DocumentText(document);
  EXPECT_EQ(markup.rfind("<html xmlns=\"urn:replaced\" lang=\"en\">", 0), 0u) << markup;
}

}  // namespace
}  // namespace tarvex::companions::dom
