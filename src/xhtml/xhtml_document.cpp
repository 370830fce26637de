// The report document: its skeleton, its body additions and saving.
#include "xhtml/xhtml_document.h"

#include <fmt/format.h>

#include <array>
#include <string_view>
#include <utility>

#include "automation/app.h"
#include "automation/convert.h"
#include "automation/guard.h"
#include "automation/registry.h"
#include "automation/text.h"
#include "contracts/companions.h"
#include "contracts/late_bound.h"

namespace tarvex::xhtml {

using automation::Args;
using automation::CallKind;
using automation::guarded;
using automation::ObjectRef;
using automation::shared;
using automation::Variant;

namespace {

constexpr std::string_view kClass = "XHTMLDocument";
constexpr std::string_view kXmlDeclaration = "<?xml version=\"1.0\"?>";
constexpr std::string_view kDoctype =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
    "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">";
constexpr std::string_view kXhtmlNamespace = "http://www.w3.org/1999/xhtml";
constexpr std::string_view kRecommendation = "http://www.w3.org/TR/xhtml1/";
constexpr std::string_view kGraphMarker = "<graph>";
constexpr std::string_view kPreserveMarker = "<preserve>";
// Marker lengths: opening and closing together.
constexpr std::int64_t kGraphMarkers = 7 + 8;
constexpr std::int64_t kPreserveMarkers = 10 + 11;

contracts::XmlUtility& xml() {
  return shared<contracts::XmlUtility>();
}

ObjectRef append(ObjectRef& parent, const std::string& name) {
  return xml().AppendChildElement(parent, name, Variant());
}

void set_attribute(ObjectRef& element, const std::string& name, const std::string& value) {
  xml().SetElementAttribute(element, name, value);
}

void set_text(const ObjectRef& element, std::string text) {
  automation::put(element, "Text", std::move(text));
}

// "width: " and the share as a percentage with the given decimals, rounded to the nearest; a
// value that rounds to zero carries no minus sign.
std::string width(double share, int decimals) {
  // Rows of a listing share their column count, and so their widths: keep the last one. Plain
  // data, so that nothing is left to destroy when the thread ends.
  struct Last {
    double share = 0;
    int decimals = -1;
    std::size_t size = 0;
    char text[32];
  };
  thread_local Last last;
  if (decimals == last.decimals && share == last.share) return std::string(last.text, last.size);
  std::string number = fmt::format("{:.{}f}", share * 100.0, decimals);
  if (number.front() == '-' && number.find_first_not_of("-0.") == std::string::npos) {
    number.erase(0, 1);
  }
  std::string text = "width: " + number + "%";
  if (text.size() <= sizeof last.text) {
    last.share = share;
    last.decimals = decimals;
    last.size = text.copy(last.text, text.size());
  }
  return text;
}

}  // namespace

std::shared_ptr<XHTMLDocument> XHTMLDocument::create() {
  std::shared_ptr<XHTMLDocument> document(new XHTMLDocument());
  document->Class_Initialize();
  return document;
}

void XHTMLDocument::Class_Initialize() {
  guarded({kClass, "Class_Initialize"}, [&] {
    std::shared_ptr<contracts::ObjectFactory> factory =
        automation::create_new<contracts::ObjectFactory>();
    dom_ = factory->CreateVersionedObject(std::string(contracts::kDomProgId));

    ObjectRef html = xml().AppendRootElement(dom_, "html", Variant());
    set_attribute(html, "xmlns", std::string(kXhtmlNamespace));
    set_attribute(html, "lang", "en");
    head_ = append(html, "head");
    title_ = append(head_, "title");
    style_ = append(head_, "style");
    set_attribute(style_, "type", "text/css");
    body_ = append(html, "body");

    set_text(append(body_, "h1"), automation::App()->title() + " XHTML Report");
    set_text(append(body_, "h2"), "Table of Contents");
    ObjectRef validity = append(body_, "div");
    set_attribute(validity, "style", "text-align: right");
    ObjectRef link = append(validity, "a");
    set_attribute(link, "href", std::string(kRecommendation));
    set_text(link, "Valid XHTML 1.0");

    table_of_contents_ = append(body_, "div");
    set_attribute(table_of_contents_, "id", "tableofcontents");
  });
}

void XHTMLDocument::SetTitle(const std::string& NewTitle) {
  guarded({kClass, "SetTitle"}, [&] { set_text(title_, NewTitle); });
}

void XHTMLDocument::SetStyle(const std::string& sStyleSheetContents) {
  guarded({kClass, "SetStyle"}, [&] {
    Variant comment = automation::call(dom_, "createComment", sStyleSheetContents);
    automation::call(style_, "appendchild", comment);
  });
}

void XHTMLDocument::AddBodyParagraph(const std::string& sParagraphText) {
  guarded({kClass, "AddBodyParagraph"}, [&] { set_text(append(body_, "p"), sParagraphText); });
}

void XHTMLDocument::AddSingleRowTableToBody(Variant ValueMatrix) {
  guarded({kClass, "AddSingleRowTableToBody"}, [&] {
    const std::int32_t count = shared<contracts::ArrayUtility>().ElementCount(ValueMatrix);
    const double n = count;
    ObjectRef table = append(body_, "table");
    ObjectRef row = append(table, "tr");
    const std::int32_t last = count - 1;
    // Every plain or preformatted cell of the row has the same width: format it once.
    std::string cell_width;
    auto equal_share = [&]() -> const std::string& {
      if (cell_width.empty()) cell_width = width(1 / n, 2);
      return cell_width;
    };
    for (std::int32_t i = 0; i <= last; ++i) {
      // The array is this call's own copy: its texts move into the tree. A null element takes
      // part in the marker tests as the empty text.
      std::string text = automation::to_text(std::move(ValueMatrix.as_array().at(i)),
                                             automation::NullAs::EmptyText);
      if (automation::starts_with(text, kGraphMarker)) {
        std::int64_t length = static_cast<std::int64_t>(automation::char_count(text));
        double x = automation::to_double(Variant(automation::mid(text, 8, length - kGraphMarkers)));
        ObjectRef bar = append(row, "td");
        set_attribute(bar, "class", "itemcountingraph");
        set_attribute(bar, "style", width(x / n, 1));
        ObjectRef padding = append(row, "td");
        set_attribute(padding, "class", "paddingingraph");
        set_attribute(padding, "style", width((1 - x) / n, 1));
      } else if (automation::starts_with(text, kPreserveMarker)) {
        ObjectRef cell = append(row, "td");
        set_attribute(cell, "style", equal_share());
        ObjectRef pre = append(cell, "pre");
        std::int64_t length = static_cast<std::int64_t>(automation::char_count(text));
        automation::put(pre, "nodeTypedValue",
                        automation::mid(text, 11, length - kPreserveMarkers));
      } else {
        ObjectRef cell = append(row, "td");
        set_text(cell, std::move(text));
        set_attribute(cell, "style", equal_share());
      }
    }
  });
}

void XHTMLDocument::AddBodyHeader(const std::string& sHeaderText, std::int32_t lHeaderLevel) {
  guarded({kClass, "AddBodyHeader"}, [&] {
    std::string guid = shared<contracts::GuidGenerator>().NewGuidText();
    guid = automation::replace_all(guid, "{", "");
    guid = automation::replace_all(guid, "}", "");
    const std::string id = "ID" + guid;
    const std::string level = std::to_string(lHeaderLevel);

    ObjectRef header = append(body_, "h" + level);
    set_attribute(header, "id", id);
    set_text(header, sHeaderText);

    ObjectRef entry = append(table_of_contents_, "div");
    set_attribute(entry, "class", "h" + level + "intoc");
    ObjectRef link = append(entry, "a");
    set_attribute(link, "href", "#" + id);
    set_text(link, sHeaderText);
  });
}

void XHTMLDocument::Save(const std::string& FilePath) {
  guarded({kClass, "Save"}, [&] {
    contracts::FileSystemUtility& files = shared<contracts::FileSystemUtility>();
    std::string folder = files.FolderOfPath(FilePath);
    std::string name = files.FileNameOfPath(FilePath);
    // The markup streams from the tree into the file: the report is never whole in memory.
    files.StreamTextFile(
        [&](contracts::TextSink& file) {
          file.put(kXmlDeclaration);
          file.put("\r\n");
          file.put(kDoctype);
          file.put("\r\n");
          xml().WriteDocumentText(dom_, file);
        },
        folder, name);
  });
}

namespace {
// A member that takes one text.
template <void (XHTMLDocument::*Operation)(const std::string&)>
Variant with_text(XHTMLDocument& self, Args& a) {
  a.expect(1);
  (self.*Operation)(automation::to_text(a[0]));
  return {};
}
}  // namespace

Variant XHTMLDocument::invoke(std::string_view member, CallKind kind, Args& args) {
  static const std::array<automation::Member<XHTMLDocument>, 6> members{{
      {"SetTitle", CallKind::Method, with_text<&XHTMLDocument::SetTitle>},
      {"SetStyle", CallKind::Method, with_text<&XHTMLDocument::SetStyle>},
      {"AddBodyParagraph", CallKind::Method, with_text<&XHTMLDocument::AddBodyParagraph>},
      {"AddSingleRowTableToBody", CallKind::Method,
       [](XHTMLDocument& self, Args& a) -> Variant {
         a.expect(1);
         self.AddSingleRowTableToBody(a[0]);
         return {};
       }},
      {"AddBodyHeader", CallKind::Method,
       [](XHTMLDocument& self, Args& a) -> Variant {
         a.expect(1, 2);
         self.AddBodyHeader(automation::to_text(a[0]), a.has(1) ? automation::to_long(a[1]) : 1);
         return {};
       }},
      {"Save", CallKind::Method, with_text<&XHTMLDocument::Save>},
  }};
  return automation::dispatch(*this, member, kind, args, members);
}

}  // namespace tarvex::xhtml
