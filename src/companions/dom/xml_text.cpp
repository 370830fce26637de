// Text sanitising and the serialiser of the document object model.
#include "companions/dom/xml_text.h"

#include <cstring>
#include <stdexcept>
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

// Where markup goes. The tree is written twice: first to a Counter, which only adds up the
// bytes, then to a Filler over a string of exactly that size, so that a report of hundreds of
// megabytes is neither copied as its string grows nor given a string twice its size.
class Counter {
 public:
  void put(char) { ++size_; }
  void put(const char*, std::size_t n) { size_ += n; }
  void fill(char, std::size_t n) { size_ += n; }
  std::size_t size() const { return size_; }

 private:
  std::size_t size_ = 0;
};

class Filler {
 public:
  Filler(char* begin, char* end) : next_(begin), end_(end) {}
  void put(char c) {
    room(1);
    *next_++ = c;
  }
  void put(const char* s, std::size_t n) {
    room(n);
    std::memcpy(next_, s, n);
    next_ += n;
  }
  void fill(char c, std::size_t n) {
    room(n);
    std::memset(next_, c, n);
    next_ += n;
  }
  const char* next() const { return next_; }

 private:
  // The count and the writing walk the same tree the same way; this only guards the memory.
  void room(std::size_t n) const {
    if (static_cast<std::size_t>(end_ - next_) < n) {
      throw std::logic_error("markup outgrew its count");
    }
  }
  char* next_;
  char* end_;
};

template <class Sink>
void put_text(Sink& out, const char* s) {
  out.put(s, std::strlen(s));
}

template <std::size_t N>
constexpr std::string_view literal(const char (&s)[N]) {
  return {s, N - 1};
}

template <class Sink>
void put_escaped(Sink& out, const char* s, bool attribute) {
  const char* run = s;
  for (; *s; ++s) {
    std::string_view entity;
    switch (*s) {
      case '&':
        entity = literal("&amp;");
        break;
      case '<':
        entity = literal("&lt;");
        break;
      case '>':
        entity = literal("&gt;");
        break;
      case '\r':
        entity = literal("&#13;");
        break;
      case '"':
        if (attribute) entity = literal("&quot;");
        break;
      case '\t':
        if (attribute) entity = literal("&#9;");
        break;
      case '\n':
        if (attribute) entity = literal("&#10;");
        break;
      default:
        break;
    }
    if (!entity.empty()) {
      out.put(run, static_cast<std::size_t>(s - run));
      out.put(entity.data(), entity.size());
      run = s + 1;
    }
  }
  out.put(run, static_cast<std::size_t>(s - run));
}

template <class Sink>
void put_start_tag(Sink& out, pugi::xml_node element) {
  out.put('<');
  put_text(out, element.name());
  for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute()) {
    out.put(' ');
    put_text(out, a.name());
    out.put("=\"", 2);
    put_escaped(out, a.value(), true);
    out.put('"');
  }
  out.put('>');
}

template <class Sink>
void put_end_tag(Sink& out, pugi::xml_node element) {
  out.put("</", 2);
  put_text(out, element.name());
  out.put('>');
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

template <class Sink>
void put_line_break(Sink& out, std::size_t depth) {
  out.put('\n');
  out.fill(' ', depth * 2);
}

template <class Sink>
void put_leaf(Sink& out, pugi::xml_node node, pugi::xml_node_type type) {
  switch (type) {
    case pugi::node_pcdata:
    case pugi::node_cdata:
      put_escaped(out, node.value(), false);
      break;
    case pugi::node_comment:
      out.put("<!--", 4);
      put_text(out, node.value());
      out.put("-->", 3);
      break;
    default:
      // Declarations, processing instructions and document types are never created here.
      break;
  }
}

// Writes a node that is not laid out: everything below it goes on one line as it is.
template <class Sink>
void put_inline(Sink& out, pugi::xml_node top) {
  // Iterative, so that a deep tree cannot exhaust the stack.
  pugi::xml_node node = top;
  while (true) {
    const pugi::xml_node_type type = node.type();
    if (type == pugi::node_element) {
      put_start_tag(out, node);
      if (pugi::xml_node child = node.first_child()) {
        node = child;
        continue;
      }
      put_end_tag(out, node);
    } else {
      put_leaf(out, node, type);
    }
    pugi::xml_node next;
    while (node != top && !(next = node.next_sibling())) {
      node = node.parent();
      put_end_tag(out, node);
    }
    if (node == top) return;
    node = next;
  }
}

template <class Sink>
void put_markup(Sink& out, pugi::xml_node top) {
  if (top.type() != pugi::node_element || !lays_out_children(top)) {
    put_inline(out, top);
    return;
  }
  // Laid-out elements on a stack: each entry is an element whose children go one a line and the
  // child to write next.
  struct Open {
    pugi::xml_node element;
    pugi::xml_node next;
  };
  std::vector<Open> open;
  put_start_tag(out, top);
  open.push_back({top, top.first_child()});
  while (!open.empty()) {
    Open& current = open.back();
    if (!current.next) {
      put_line_break(out, open.size() - 1);
      put_end_tag(out, current.element);
      open.pop_back();
      continue;
    }
    pugi::xml_node child = current.next;
    current.next = child.next_sibling();
    put_line_break(out, open.size());
    if (lays_out_children(child)) {
      put_start_tag(out, child);
      open.push_back({child, child.first_child()});
    } else {
      put_inline(out, child);
    }
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

std::string markup_of(pugi::xml_node node, std::size_t spare) {
  Counter counter;
  put_markup(counter, node);
  std::string out;
  out.reserve(counter.size() + spare);
  out.resize(counter.size());
  Filler filler(out.data(), out.data() + out.size());
  put_markup(filler, node);
  out.resize(static_cast<std::size_t>(filler.next() - out.data()));
  return out;
}

}  // namespace tarvex::companions::dom
