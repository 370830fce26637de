// What makes the document object model's output well-formed whatever its texts hold: texts are
// made safe once, when they are set (DomTree).
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "contracts/text_sink.h"

namespace tarvex::companions::dom {

// How markup writes each byte of a text: as itself (no entity) or as an entity. Text content
// escapes &, <, > and CR (as "&#13;", so that parsing gives the CR back); attribute values also
// escape ", TAB and LF, which a parser would otherwise turn into blanks. Every writer of markup
// takes its escapes from here.
struct XmlEscapes {
  std::array<std::string_view, 256> content{};
  std::array<std::string_view, 256> attribute{};
  constexpr XmlEscapes() {
    for (auto* table : {&content, &attribute}) {
      (*table)['&'] = "&amp;";
      (*table)['<'] = "&lt;";
      (*table)['>'] = "&gt;";
      (*table)['\r'] = "&#13;";
    }
    attribute['"'] = "&quot;";
    attribute['\t'] = "&#9;";
    attribute['\n'] = "&#10;";
  }
};
inline constexpr XmlEscapes kXmlEscapes;
using EscapeTable = std::array<std::string_view, 256>;

// Whether writing the text with these escapes changes it.
bool needs_escapes(std::string_view text, const EscapeTable& escapes);
// Writes the text with these escapes.
void put_escaped(contracts::TextSink& out, std::string_view text, const EscapeTable& escapes);

// The text as XML 1.0 can carry it: invalid UTF-8 and the characters XML forbids (controls other
// than TAB, LF and CR, U+FFFE, U+FFFF) become U+FFFD. Everything else stays, CR included.
std::string xml_text(std::string_view text);

// Where the first byte that xml_text() would change is; npos when the text is safe as it is.
std::size_t first_unsafe(std::string_view text);

// As xml_text(), and safe inside a comment: a "-" that follows a "-" gets a blank in front
// ("--" becomes "- -") and a trailing "-" a blank after it. Other texts stay byte for byte.
std::string xml_comment_text(std::string_view text);

// Raises 5 unless `name` can be an element or attribute name (no namespace prefix handling:
// a colon is just a name character).
void check_xml_name(std::string_view name);

}  // namespace tarvex::companions::dom
