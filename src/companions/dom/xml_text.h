// What makes the document object model's output well-formed whatever its texts hold: texts are
// made safe once, when they are set (DomTree).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "contracts/text_sink.h"

namespace tarvex::companions::dom {

// How markup writes each byte of a text: as itself (no entity) or as an entity. Each byte also
// has a class, so that a text is scanned with one lookup a byte: whether it has an entity, and
// whether it may be something XML cannot carry (a control other than TAB, LF and CR, or a byte
// of a multi-byte character, which then needs a closer look).
class EscapeTable {
 public:
  static constexpr std::uint8_t kEscaped = 1;
  static constexpr std::uint8_t kMaybeUnsafe = 2;

  constexpr EscapeTable() {
    for (int c = 0; c < 256; ++c) {
      if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c >= 0x80)
        classes_[c] = kMaybeUnsafe;
    }
  }
  constexpr void set(char c, std::string_view entity) {
    entities_[static_cast<unsigned char>(c)] = entity;
    classes_[static_cast<unsigned char>(c)] |= kEscaped;
    if (c >= 0x20 && c < 0x7F && c != '&' && c != '<' && c != '>' && c != '"')
      printables_plain_ = false;
  }
  // Whether every printable ASCII byte but &, <, > and " is written as itself: then a run of
  // such bytes needs no lookup.
  constexpr bool printables_plain() const { return printables_plain_; }
  constexpr std::string_view operator[](char c) const {
    return entities_[static_cast<unsigned char>(c)];
  }
  constexpr std::uint8_t class_of(char c) const { return classes_[static_cast<unsigned char>(c)]; }

 private:
  std::array<std::string_view, 256> entities_{};
  std::array<std::uint8_t, 256> classes_{};
  bool printables_plain_ = true;
};

// Text content escapes &, <, > and CR (as "&#13;", so that parsing gives the CR back); attribute
// values also escape ", TAB and LF, which a parser would otherwise turn into blanks. Every writer
// of markup takes its escapes from here.
struct XmlEscapes {
  EscapeTable content;
  EscapeTable attribute;
  constexpr XmlEscapes() {
    for (EscapeTable* table : {&content, &attribute}) {
      table->set('&', "&amp;");
      table->set('<', "&lt;");
      table->set('>', "&gt;");
      table->set('\r', "&#13;");
    }
    attribute.set('"', "&quot;");
    attribute.set('\t', "&#9;");
    attribute.set('\n', "&#10;");
  }
};
inline constexpr XmlEscapes kXmlEscapes;

// Writes the text with these escapes.
void put_escaped(contracts::TextSink& out, std::string_view text, const EscapeTable& escapes);

// What storing a text needs to know of it, found in one pass.
struct TextScan {
  std::size_t unsafe = std::string_view::npos;  // the first byte that xml_text() would change
  bool escaped = false;  // writing it with the escapes changes it (known when it is safe)
};
TextScan scan_text(std::string_view text, const EscapeTable& escapes);

// The text as XML 1.0 can carry it: invalid UTF-8 and the characters XML forbids (controls other
// than TAB, LF and CR, U+FFFE, U+FFFF) become U+FFFD. Everything else stays, CR included.
std::string xml_text(std::string_view text);

// As xml_text(), and safe inside a comment: a "-" that follows a "-" gets a blank in front
// ("--" becomes "- -") and a trailing "-" a blank after it. Other texts stay byte for byte.
std::string xml_comment_text(std::string_view text);

// Raises 5 unless `name` can be an element or attribute name (no namespace prefix handling:
// a colon is just a name character).
void check_xml_name(std::string_view name);

}  // namespace tarvex::companions::dom
