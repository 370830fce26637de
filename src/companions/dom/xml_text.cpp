// Text sanitising and the one-pass serialiser of the document object model.
#include "companions/dom/xml_text.h"

#include <vector>

#include "automation/error.h"
#include "automation/text.h"

namespace tarvex::companions::dom {

namespace {

bool xml_allows(char32_t cp) {
  if (cp < 0x20) return cp == U'\t' || cp == U'\n' || cp == U'\r';
  return cp != 0xFFFE && cp != 0xFFFF;  // surrogates never decode: they arrive as U+FFFD
}

bool is_name_start(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

bool is_name_char(unsigned char c) {
  return is_name_start(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

void append_escaped(std::string& out, const char* s, bool attribute) {
  const char* run = s;
  for (; *s; ++s) {
    const char* entity = nullptr;
    switch (*s) {
      case '&':
        entity = "&amp;";
        break;
      case '<':
        entity = "&lt;";
        break;
      case '>':
        entity = "&gt;";
        break;
      case '\r':
        entity = "&#13;";
        break;
      case '"':
        entity = attribute ? "&quot;" : nullptr;
        break;
      case '\t':
        entity = attribute ? "&#9;" : nullptr;
        break;
      case '\n':
        entity = attribute ? "&#10;" : nullptr;
        break;
      default:
        break;
    }
    if (entity) {
      out.append(run, static_cast<std::size_t>(s - run));
      out.append(entity);
      run = s + 1;
    }
  }
  out.append(run, static_cast<std::size_t>(s - run));
}

void append_start_tag(std::string& out, pugi::xml_node element) {
  out += '<';
  out += element.name();
  for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
    out += ' ';
    out += a.name();
    out += "=\"";
    append_escaped(out, a.value(), true);
    out += '"';
  }
  out += '>';
}

void append_end_tag(std::string& out, pugi::xml_node element) {
  out += "</";
  out += element.name();
  out += '>';
}

// Whether the element's children go one a line: only when there are children and all are
// elements, so that no blank added between them can join a text.
bool lays_out_children(pugi::xml_node element) {
  pugi::xml_node child = element.first_child();
  if (!child) return false;
  for (; child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) return false;
  }
  return true;
}

void append_line_break(std::string& out, std::size_t depth) {
  out += '\n';
  out.append(depth * 2, ' ');
}

// Writes a node that is not laid out: everything below it goes on one line as it is.
void append_inline(std::string& out, pugi::xml_node node);

void append_leaf(std::string& out, pugi::xml_node node) {
  switch (node.type()) {
    case pugi::node_pcdata:
    case pugi::node_cdata:
      append_escaped(out, node.value(), false);
      break;
    case pugi::node_comment:
      out += "<!--";
      out += node.value();
      out += "-->";
      break;
    default:
      // Declarations, processing instructions and document types are never created here.
      break;
  }
}

void append_inline(std::string& out, pugi::xml_node top) {
  // Iterative, so that a deep tree cannot exhaust the stack.
  pugi::xml_node node = top;
  while (true) {
    if (node.type() == pugi::node_element) {
      append_start_tag(out, node);
      if (node.first_child()) {
        node = node.first_child();
        continue;
      }
      append_end_tag(out, node);
    } else {
      append_leaf(out, node);
    }
    while (node != top && !node.next_sibling()) {
      node = node.parent();
      append_end_tag(out, node);
    }
    if (node == top) return;
    node = node.next_sibling();
  }
}

}  // namespace

std::size_t first_unsafe(std::string_view text) {
  constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto c = static_cast<unsigned char>(text[pos]);
    if (c < 0x80) {
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return pos;
      ++pos;
      continue;
    }
    const std::size_t before = pos;
    const char32_t cp = automation::next_code_point(text, pos);
    // U+FFFD stands for a broken sequence too: only its own three bytes are safe.
    if (cp == 0xFFFD ? text.substr(before, pos - before) != kReplacement : !xml_allows(cp)) {
      return before;
    }
  }
  return std::string_view::npos;
}

std::string xml_text(std::string_view text) {
  // Most texts are safe as they are: copy them whole, and only the rest code point by code point.
  std::size_t pos = first_unsafe(text);
  if (pos == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size() + 8);
  out.append(text.substr(0, pos));
  while (pos < text.size()) {
    std::size_t before = pos;
    char32_t cp = automation::next_code_point(text, pos);
    if (cp == 0xFFFD || !xml_allows(cp)) {
      automation::append_utf8(out, 0xFFFD);
    } else {
      out.append(text, before, pos - before);
    }
  }
  return out;
}

std::string xml_comment_text(std::string_view text) {
  std::string safe = xml_text(text);
  if (safe.find('-') == std::string::npos) return safe;
  std::string out;
  out.reserve(safe.size() + 8);
  for (char c : safe) {
    if (c == '-' && !out.empty() && out.back() == '-') out += ' ';
    out += c;
  }
  if (out.back() == '-') out += ' ';
  return out;
}

void check_xml_name(std::string_view name) {
  bool valid = !name.empty() && is_name_start(static_cast<unsigned char>(name.front()));
  bool ascii = valid && static_cast<unsigned char>(name.front()) < 0x80;
  for (std::size_t i = 1; valid && i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    valid = is_name_char(c);
    ascii = ascii && c < 0x80;
  }
  // Only a name beyond ASCII can be broken UTF-8.
  if (valid && !ascii && automation::valid_utf8(name) != name) valid = false;
  if (!valid) {
    automation::raise(automation::RuntimeError::InvalidProcedureCall,
                      "'" + automation::valid_utf8(name) + "' is not an XML name");
  }
}

void append_markup(std::string& out, pugi::xml_node top) {
  if (top.type() != pugi::node_element || !lays_out_children(top)) {
    append_inline(out, top);
    return;
  }
  // Laid-out elements on a stack: each entry is an element whose children go one a line and the
  // child to write next.
  struct Open {
    pugi::xml_node element;
    pugi::xml_node next;
  };
  std::vector<Open> open;
  append_start_tag(out, top);
  open.push_back({top, top.first_child()});
  while (!open.empty()) {
    Open& current = open.back();
    if (!current.next) {
      append_line_break(out, open.size() - 1);
      append_end_tag(out, current.element);
      open.pop_back();
      continue;
    }
    pugi::xml_node child = current.next;
    current.next = child.next_sibling();
    append_line_break(out, open.size());
    if (lays_out_children(child)) {
      append_start_tag(out, child);
      open.push_back({child, child.first_child()});
    } else {
      append_inline(out, child);
    }
  }
}

}  // namespace tarvex::companions::dom
