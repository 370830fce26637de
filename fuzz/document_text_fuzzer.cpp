// Arbitrary texts as element text, attribute value and comment: the markup that DocumentText
// writes must always parse as XML and give every text back as it was set (with the characters
// XML cannot carry replaced by U+FFFD), and come out the same through a sink of a few bytes,
// whose buffer fills in the middle of every piece.
#include <pugixml.hpp>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "automation/object.h"
#include "automation/registry.h"
#include "companions/dom/xml_text.h"
#include "companions/registration.h"
#include "contracts/companions.h"
#include "contracts/late_bound.h"

using namespace tarvex;

namespace {
class TinySink final : public contracts::TextSink {
 public:
  TinySink() { set_buffer(buffer_, buffer_ + sizeof buffer_); }
  std::string text() const { return text_ + std::string(pending()); }

 private:
  void pass_on() override {
    text_ += pending();
    set_buffer(buffer_, buffer_ + sizeof buffer_);
  }
  char buffer_[7];
  std::string text_;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool registered = (companions::register_companions(), true);
  (void)registered;
  std::string text(reinterpret_cast<const char*>(data), size);

  auto& xml = automation::shared<contracts::XmlUtility>();
  automation::ObjectRef document = automation::create_object(contracts::kDomProgId);
  automation::ObjectRef root = xml.AppendRootElement(document, "html", {});
  automation::ObjectRef pre = xml.AppendChildElement(root, "pre", {});
  automation::put(pre, "Text", text);
  xml.SetElementAttribute(pre, "title", text);
  automation::ObjectRef style = xml.AppendChildElement(root, "style", {});
  automation::call(style, "appendchild", automation::call(document, "createComment", text));

  std::string markup = xml.DocumentText(document);
  TinySink tiny;
  xml.WriteDocumentText(document, tiny);
  if (tiny.text() != markup) std::abort();
  pugi::xml_document parsed;
  pugi::xml_parse_result result =
      parsed.load_buffer(markup.data(), markup.size(),
                         pugi::parse_default | pugi::parse_comments | pugi::parse_ws_pcdata);
  if (!result) std::abort();
  std::string expected = companions::dom::xml_text(text);
  pugi::xml_node html = parsed.child("html");
  if (html.child("pre").text().as_string() != expected) std::abort();
  if (html.child("pre").attribute("title").as_string() != expected) std::abort();
  if (html.child("style").first_child().type() != pugi::node_comment) std::abort();
  return 0;
}
