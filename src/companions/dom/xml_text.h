// What makes the document object model's output well-formed whatever its texts hold: texts are
// made safe once, when they are set, and the tree is written by markup_of().
#pragma once

#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace tarvex::companions::dom {

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

// The markup of `node` and everything below it, without a declaration. Elements whose children
// are all elements get one child a line, indented by two blanks; any other element (one holding
// text, a comment or nothing) is written on one line as it is, so no added blank ever becomes
// part of a text. Text escapes &, <, > and CR (as "&#13;", so parsing gives the CR back);
// attribute values also escape ", TAB and LF. Comments are written as they are held.
// The string has room for `spare` more bytes, so that a caller can put a short prologue in front
// without copying a large document.
std::string markup_of(pugi::xml_node node, std::size_t spare = 0);

}  // namespace tarvex::companions::dom
