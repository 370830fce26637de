// The document's markup byte for byte: layout and escapes. The markup is counted before it is
// written, so any difference between the two shows up here as a wrong or cut markup.
#include <gtest/gtest.h>

#include <string>

#include "automation/registry.h"
#include "companions/dom/xml_utility.h"
#include "companions/registration.h"
#include "contracts/late_bound.h"

namespace tarvex::companions::dom {
namespace {

using automation::ObjectRef;
using automation::Variant;

struct Document {
  Document() {
    register_dom();
    document = automation::create_object(contracts::kDomProgId);
    html = xml.AppendRootElement(document, "html", Variant());
  }
  ObjectRef add(ObjectRef parent, const char* name) {
    return xml.AppendChildElement(parent, name, Variant());
  }

  XmlUtilityImpl xml;
  ObjectRef document;
  ObjectRef html;
};

TEST(DomMarkup, is_laid_out_and_escaped_exactly) {
  Document d;
  d.xml.SetElementAttribute(d.html, "lang", "en");
  ObjectRef head = d.add(d.html, "head");
  ObjectRef style = d.add(head, "style");
  automation::call(style, "appendchild",
                   automation::call(d.document, "createComment", "td { x: 1 } a--b"));
  ObjectRef body = d.add(d.html, "body");
  ObjectRef tr = d.add(d.add(body, "table"), "tr");
  ObjectRef cell = d.add(tr, "td");
  d.xml.SetElementAttribute(cell, "title", "a\"b\tc\nd&<>\r");
  automation::put(cell, "Text", "1 < 2 & 3 > 2\r\n\"q\"\t");
  d.add(tr, "td");
  ObjectRef p = d.add(body, "p");
  automation::put(p, "Text", "text ");
  automation::put(d.add(p, "b"), "Text", "bold");

  const std::string expected =
      "<html lang=\"en\">\n"
      "  <head>\n"
      "    <style><!--td { x: 1 } a- -b--></style>\n"
      "  </head>\n"
      "  <body>\n"
      "    <table>\n"
      "      <tr>\n"
      "        <td title=\"a&quot;b&#9;c&#10;d&amp;&lt;&gt;&#13;\">1 &lt; 2 &amp; 3 &gt; "
      "2&#13;\n\"q\"\t</td>\n"
      "        <td></td>\n"
      "      </tr>\n"
      "    </table>\n"
      "    <p>text <b>bold</b></p>\n"
      "  </body>\n"
      "</html>";
  EXPECT_EQ(d.xml.DocumentText(d.document), expected);
}

// Long texts are scanned sixteen bytes at a time: a byte that needs a closer look is found at
// either edge of a block, in the first block, the last whole one and the tail, in element text
// and attribute value alike.
TEST(DomMarkup, every_special_byte_is_found_wherever_it_sits_in_a_long_text) {
  struct Case {
    std::string byte;
    std::string text;       // how element text writes it
    std::string attribute;  // how an attribute value writes it
  };
  const Case cases[] = {
      {"&", "&amp;", "&amp;"},         {"<", "&lt;", "&lt;"},
      {">", "&gt;", "&gt;"},           {"\"", "\"", "&quot;"},
      {"\r", "&#13;", "&#13;"},       {"\t", "\t", "&#9;"},
      {"\n", "\n", "&#10;"},         {"\x01", "\xEF\xBF\xBD", "\xEF\xBF\xBD"},
      {"\xC3\xA4", "\xC3\xA4", "\xC3\xA4"}, {"\xFF", "\xEF\xBF\xBD", "\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) {
    for (std::size_t at : {0u, 15u, 16u, 31u, 32u, 40u}) {
      SCOPED_TRACE(testing::Message() << "byte " << c.text << " at " << at);
      const std::string before(at, 'x');
      const std::string after(42 - at, 'y');
      Document d;
      d.xml.SetElementAttribute(d.html, "title", before + c.byte + after);
      automation::put(d.html, "Text", before + c.byte + after);
      EXPECT_EQ(d.xml.DocumentText(d.document), "<html title=\"" + before + c.attribute + after +
                                                     "\">" + before + c.text + after + "</html>");
    }
  }
}

}  // namespace
}  // namespace tarvex::companions::dom
