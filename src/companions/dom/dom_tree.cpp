// The compact tree of the document object model and its markup writer.
#include "companions/dom/dom_tree.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "automation/error.h"
#include "companions/dom/xml_text.h"

namespace tarvex::companions::dom {

namespace {

constexpr std::size_t kBlockSize = std::size_t{1} << 22;
constexpr std::size_t kMaxBlocks = std::size_t{1} << (32 - 22);

// Gives a large buffer its pages in one call rather than one fault a page as it is written. A
// failure only means the faults come later.
void populate(char* data, std::size_t size) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  constexpr std::uintptr_t kPage = 4096;
  const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(kPage - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
#else
  (void)data;
  (void)size;
#endif
}

[[noreturn]] void out_of_memory() {
  automation::raise(automation::RuntimeError::OutOfMemory);
}

// What escaping adds to each byte: entities for text content, and more inside attribute values.
struct EscapeTable {
  std::array<std::uint8_t, 256> content{};
  std::array<std::uint8_t, 256> attribute{};
  constexpr EscapeTable() {
    content['&'] = attribute['&'] = 4;    // &amp;
    content['<'] = attribute['<'] = 3;    // &lt;
    content['>'] = attribute['>'] = 3;    // &gt;
    content['\r'] = attribute['\r'] = 4;  // &#13;
    attribute['"'] = 5;                   // &quot;
    attribute['\t'] = 3;                  // &#9;
    attribute['\n'] = 4;                  // &#10;
  }
};
constexpr EscapeTable kEscapes;

std::size_t escape_extra(std::string_view text, const std::array<std::uint8_t, 256>& table) {
  std::size_t extra = 0;
  for (char c : text) extra += table[static_cast<unsigned char>(c)];
  return extra;
}

std::string_view entity_of(char c, bool attribute) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '\r':
      return "&#13;";
    case '"':
      return attribute ? "&quot;" : "";
    case '\t':
      return attribute ? "&#9;" : "";
    case '\n':
      return attribute ? "&#10;" : "";
    default:
      return "";
  }
}

char* put_varint(char* out, std::size_t value) {
  while (value >= 0x80) {
    *out++ = static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  *out++ = static_cast<char>(value);
  return out;
}

const char* get_varint(const char* in, std::size_t& value) {
  value = 0;
  for (unsigned shift = 0;; shift += 7) {
    const auto byte = static_cast<unsigned char>(*in++);
    value |= static_cast<std::size_t>(byte & 0x7F) << shift;
    if (byte < 0x80) return in;
  }
}

// Where a pair is cached: a hash of the name and of the value's length and first and last
// eight bytes, which tell a listing's few repeated values apart.
std::uint32_t pair_slot(std::uint32_t name, std::string_view value) {
  std::uint64_t head = 0;
  std::uint64_t tail = 0;
  const std::size_t n = std::min<std::size_t>(value.size(), 8);
  if (n > 0) {
    std::memcpy(&head, value.data(), n);
    std::memcpy(&tail, value.data() + value.size() - n, n);
  }
  std::uint64_t h = (head * 0x9E3779B97F4A7C15u) ^ (tail * 0xC2B2AE3D27D4EB4Fu) ^
                    ((std::uint64_t{value.size()} << 32 | name) * 0x165667B19E3779F9u);
  h ^= h >> 29;
  return static_cast<std::uint32_t>(h & 1023);
}

}  // namespace

DomTree::DomTree() {
  pair_cache_.fill(kNoNode);
  name_cache_.fill(kNoNode);
  add_node(NodeKind::Document, 0, 0, kNoNode);
}

NodeId DomTree::add_node(NodeKind kind, std::uint32_t flags, std::uint32_t name,
                         std::uint32_t content) {
  const NodeId id =
      nodes_.push_back({static_cast<std::uint32_t>(kind) | flags | (name << kNameShift), kNoNode,
                        kNoNode, content, kNoNode});
  if (id == kNoNode) out_of_memory();
  return id;
}

std::uint32_t DomTree::intern_name(std::string_view name) {
  // A report uses a dozen names millions of times: most are found in the cache, unhashed.
  const std::size_t slot = name.empty()
                               ? 0
                               : (name.size() * 7 + static_cast<unsigned char>(name.front()) * 3 +
                                  static_cast<unsigned char>(name.back())) &
                                     (kNameCache - 1);
  if (const std::uint32_t cached = name_cache_[slot]; cached != kNoNode && names_[cached] == name) {
    return cached;
  }
  std::uint32_t id;
  if (auto found = name_ids_.find(name); found != name_ids_.end()) {
    id = found->second;
  } else {
    check_xml_name(name);  // a name is checked once per document
    if (names_.size() >= (std::size_t{1} << (32 - kNameShift))) out_of_memory();
    id = static_cast<std::uint32_t>(names_.size());
    names_.emplace_back(name);
    name_ids_.emplace(names_.back(), id);
  }
  name_cache_[slot] = id;
  return id;
}

// A text is its length (shifted left, the low bit telling whether the count of bytes that
// escaping adds follows), that count, and its bytes. It is stored as XML can carry it: this is
// the one place texts are made safe.
DomTree::TextRef DomTree::store_text(std::string_view text, Role role) {
  std::string safe;
  if (role == Role::Comment) {
    safe = xml_comment_text(text);
    text = safe;
  } else if (first_unsafe(text) != std::string_view::npos) {
    safe = xml_text(text);
    text = safe;
  }
  const std::size_t extra =
      role == Role::Comment
          ? 0
          : escape_extra(text, role == Role::Attribute ? kEscapes.attribute : kEscapes.content);
  const std::size_t need = text.size() + 2 * 10;  // and two numbers of at most ten bytes
  auto new_block = [&](std::size_t size) {
    if (blocks_.size() >= kMaxBlocks) out_of_memory();
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
    arena_bytes_ += size;
    return blocks_.size() - 1;
  };
  if (blocks_.empty()) {
    current_ = new_block(kBlockSize);
    block_used_ = 1;  // reference 0 means no text
  }
  // A long text gets a block of its own, so as not to waste the rest of the current one.
  const bool own = need > kBlockSize / 4;
  std::size_t block = current_;
  std::size_t offset = block_used_;
  if (own) {
    block = new_block(need);
    offset = 0;
  } else if (block_used_ + need > kBlockSize) {
    block = current_ = new_block(kBlockSize);
    offset = block_used_ = 0;
  }
  char* start = blocks_[block].get() + offset;
  char* end = put_varint(start, text.size() << 1 | (extra ? 1 : 0));
  if (extra) end = put_varint(end, extra);
  std::memcpy(end, text.data(), text.size());
  if (!own) block_used_ += static_cast<std::size_t>(end - start) + text.size();
  return static_cast<TextRef>(block << kBlockBits | offset);
}

DomTree::TextView DomTree::text_at(TextRef ref) const {
  const char* in = blocks_[ref >> kBlockBits].get() + (ref & ((1u << kBlockBits) - 1));
  std::size_t head = 0;
  in = get_varint(in, head);
  std::size_t extra = 0;
  if (head & 1) in = get_varint(in, extra);
  return {{in, head >> 1}, extra};
}

NodeId DomTree::document_element() const {
  return nodes_[kDocumentNode].content;
}

NodeId DomTree::new_element(std::string_view name) {
  return add_node(NodeKind::Element, 0, intern_name(name), kNoNode);
}

NodeId DomTree::new_comment(std::string_view text) {
  return add_node(NodeKind::Comment, 0, 0, store_text(text, Role::Comment));
}

NodeId DomTree::first_child(NodeId node) const {
  const Node& n = nodes_[node];
  if (n.tag & kHoldsText) return kNoNode;
  const NodeKind k = static_cast<NodeKind>(n.tag & kKindMask);
  if ((k != NodeKind::Element && k != NodeKind::Document) || n.content == kNoNode) return kNoNode;
  return nodes_[n.content].next;
}

NodeId DomTree::next_sibling(NodeId node) const {
  const Node& n = nodes_[node];
  if (n.parent == kNoNode || nodes_[n.parent].content == node) return kNoNode;
  return n.next;
}

const char* DomTree::cannot_append(NodeId parent, NodeId child) const {
  const NodeKind pk = kind(parent);
  const NodeKind ck = kind(child);
  if (pk == NodeKind::Document) {
    if (ck != NodeKind::Element || document_element() != kNoNode) {
      return "a document holds one element and nothing else";
    }
    return nullptr;
  }
  if (pk != NodeKind::Element || ck == NodeKind::Document) {
    return "the node cannot be appended here";
  }
  for (NodeId n = parent; n != kNoNode; n = nodes_[n].parent) {
    if (n == child) return "the node cannot be appended here";
  }
  return nullptr;
}

void DomTree::detach(NodeId child) {
  const NodeId parent = nodes_[child].parent;
  if (parent == kNoNode) return;
  Node& p = nodes_[parent];
  // Find the child's predecessor in the ring, starting from the last child: O(1) for the
  // first child, which is what a node taken off in order is.
  NodeId before = p.content;
  while (nodes_[before].next != child) before = nodes_[before].next;
  if (before == child) {
    p.content = kNoNode;
  } else {
    nodes_[before].next = nodes_[child].next;
    if (p.content == child) p.content = before;
  }
  nodes_[child].parent = kNoNode;
  nodes_[child].next = kNoNode;
  if (kind(child) != NodeKind::Element) update_mixed(parent);
}

void DomTree::update_mixed(NodeId element) {
  nodes_[element].tag &= ~kMixed;
  for (NodeId c = first_child(element); c != kNoNode; c = next_sibling(c)) {
    if (kind(c) != NodeKind::Element) {
      nodes_[element].tag |= kMixed;
      return;
    }
  }
}

void DomTree::materialise_text(NodeId element) {
  const TextRef text = nodes_[element].content;
  nodes_[element].tag &= ~kHoldsText;
  nodes_[element].content = kNoNode;
  append(element, add_node(NodeKind::Text, 0, 0, text));
}

void DomTree::append(NodeId parent, NodeId child) {
  detach(child);
  if (holds_text(parent)) materialise_text(parent);
  Node& p = nodes_[parent];
  Node& c = nodes_[child];
  if (p.content == kNoNode) {
    c.next = child;
  } else {
    c.next = nodes_[p.content].next;
    nodes_[p.content].next = child;
  }
  p.content = child;
  c.parent = parent;
  if (static_cast<NodeKind>(c.tag & kKindMask) != NodeKind::Element) p.tag |= kMixed;
}

void DomTree::set_text(NodeId node, std::string_view text) {
  if (kind(node) != NodeKind::Element) {
    nodes_[node].content =
        store_text(text, kind(node) == NodeKind::Comment ? Role::Comment : Role::Content);
    return;
  }
  if (holds_text(node)) {
    nodes_[node].tag &= ~kHoldsText;
    nodes_[node].content = kNoNode;
  }
  // Elements and comments leave the tree but stay usable: a caller may still hold them.
  for (NodeId c = first_child(node); c != kNoNode;) {
    const NodeId next = next_sibling(c);
    nodes_[c].parent = kNoNode;
    nodes_[c].next = kNoNode;
    c = next;
  }
  nodes_[node].content = kNoNode;
  nodes_[node].tag &= ~kMixed;
  if (text.empty()) return;
  nodes_[node].content = store_text(text, Role::Content);
  nodes_[node].tag |= kHoldsText;
}

std::string DomTree::text(NodeId node) const {
  switch (kind(node)) {
    case NodeKind::Text:
    case NodeKind::Comment:
      return std::string(text_at(nodes_[node].content).text);
    case NodeKind::Document:
      node = document_element();
      if (node == kNoNode) return {};
      break;
    case NodeKind::Element:
      break;
  }
  std::string out;
  // Depth first, in document order; climbing by parent links keeps the stack flat.
  NodeId n = node;
  while (true) {
    if (holds_text(n)) {
      out += text_at(nodes_[n].content).text;
    } else if (kind(n) == NodeKind::Text) {
      out += text_at(nodes_[n].content).text;
    } else if (kind(n) == NodeKind::Element) {
      if (NodeId c = first_child(n); c != kNoNode) {
        n = c;
        continue;
      }
    }
    NodeId next = kNoNode;
    while (n != node && (next = next_sibling(n)) == kNoNode) n = nodes_[n].parent;
    if (n == node) return out;
    n = next;
  }
}

std::uint32_t DomTree::intern_pair(std::uint32_t name, std::string_view value) {
  // What is held is safe, so a value equal to it is safe as it is too. An unsafe value is held
  // as made safe, never equals what it was set from, and so is never shared.
  const std::uint32_t slot = pair_slot(name, value);
  const std::uint32_t cached = pair_cache_[slot];
  if (cached != kNoNode && pairs_[cached].name == name &&
      text_at(pairs_[cached].value).text == value) {
    return cached;
  }
  const std::uint32_t id = pairs_.push_back({name, store_text(value, Role::Attribute)});
  if (id == kNoNode) out_of_memory();
  pair_cache_[slot] = id;
  return id;
}

void DomTree::set_attribute(NodeId element, std::string_view name, std::string_view value) {
  const std::uint32_t name_id = intern_name(name);
  const std::uint32_t pair = intern_pair(name_id, value);
  std::uint32_t* link = &nodes_[element].attributes;
  while (*link != kNoNode) {
    Attribute& a = attributes_[*link];
    if (pairs_[a.pair].name == name_id) {
      a.pair = pair;
      return;
    }
    link = &a.next;
  }
  const std::uint32_t id = attributes_.push_back({pair, kNoNode});
  if (id == kNoNode) out_of_memory();
  *link = id;
}

std::size_t DomTree::bytes_held() const {
  return std::size_t{nodes_.size()} * sizeof(Node) +
         std::size_t{attributes_.size()} * sizeof(Attribute) +
         std::size_t{pairs_.size()} * sizeof(Pair) + arena_bytes_;
}

// ---- Markup ----

namespace {

// Where markup goes. The tree is written twice: first to a Counter, which only adds up the
// bytes, then to a Filler over a string of exactly that size.
class Counter {
 public:
  void put(char) { ++size_; }
  void put(std::string_view s) { size_ += s.size(); }
  void fill(char, std::size_t n) { size_ += n; }
  void escaped(std::string_view s, std::size_t extra, bool) { size_ += s.size() + extra; }
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
  void put(std::string_view s) {
    room(s.size());
    std::memcpy(next_, s.data(), s.size());
    next_ += s.size();
  }
  void fill(char c, std::size_t n) {
    room(n);
    std::memset(next_, c, n);
    next_ += n;
  }
  void escaped(std::string_view s, std::size_t extra, bool attribute) {
    if (extra == 0) {
      put(s);
      return;
    }
    room(s.size() + extra);
    for (char c : s) {
      std::string_view entity = entity_of(c, attribute);
      if (entity.empty()) {
        *next_++ = c;
      } else {
        std::memcpy(next_, entity.data(), entity.size());
        next_ += entity.size();
      }
    }
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

}  // namespace

class MarkupWriter {
 public:
  explicit MarkupWriter(const DomTree& tree) : t_(tree) {}

  // Elements whose children are all elements get one child a line, indented by two blanks;
  // any other element is written on one line as it is, so no added blank joins a text.
  template <class Sink>
  void write(Sink& out, NodeId top) {
    if (!lays_out_children(top)) {
      put_inline(out, top);
      return;
    }
    put_start_tag(out, top);
    open_.clear();
    open_.push_back({top, t_.first_child(top)});
    while (!open_.empty()) {
      Open& current = open_.back();
      if (current.next == kNoNode) {
        put_line_break(out, open_.size() - 1);
        put_end_tag(out, current.element);
        open_.pop_back();
        continue;
      }
      const NodeId child = current.next;
      current.next = t_.next_sibling(child);
      put_line_break(out, open_.size());
      if (lays_out_children(child)) {
        put_start_tag(out, child);
        open_.push_back({child, t_.first_child(child)});
      } else {
        put_inline(out, child);
      }
    }
  }

 private:
  struct Open {
    NodeId element;
    NodeId next;
  };

  bool lays_out_children(NodeId node) const {
    const DomTree::Node& n = t_.nodes_[node];
    return (n.tag & DomTree::kKindMask) == static_cast<std::uint32_t>(NodeKind::Element) &&
           (n.tag & (DomTree::kHoldsText | DomTree::kMixed)) == 0 && n.content != kNoNode;
  }

  template <class Sink>
  void put_start_tag(Sink& out, NodeId element) {
    out.put('<');
    out.put(t_.name_of(element));
    for (std::uint32_t a = t_.nodes_[element].attributes; a != kNoNode;
         a = t_.attributes_[a].next) {
      const DomTree::Pair& pair = t_.pairs_[t_.attributes_[a].pair];
      out.put(' ');
      out.put(t_.names_[pair.name]);
      out.put("=\"");
      const DomTree::TextView value = t_.text_at(pair.value);
      out.escaped(value.text, value.extra, true);
      out.put('"');
    }
    out.put('>');
  }

  template <class Sink>
  void put_end_tag(Sink& out, NodeId element) {
    out.put("</");
    out.put(t_.name_of(element));
    out.put('>');
  }

  template <class Sink>
  void put_line_break(Sink& out, std::size_t depth) {
    out.put('\n');
    out.fill(' ', depth * 2);
  }

  // Writes a node and everything below it on one line, as it is.
  template <class Sink>
  void put_inline(Sink& out, NodeId top) {
    NodeId node = top;
    while (true) {
      const DomTree::Node& n = t_.nodes_[node];
      switch (static_cast<NodeKind>(n.tag & DomTree::kKindMask)) {
        case NodeKind::Element: {
          put_start_tag(out, node);
          if (n.tag & DomTree::kHoldsText) {
            const DomTree::TextView text = t_.text_at(n.content);
            out.escaped(text.text, text.extra, false);
          } else if (n.content != kNoNode) {
            node = t_.nodes_[n.content].next;
            continue;
          }
          put_end_tag(out, node);
          break;
        }
        case NodeKind::Text: {
          const DomTree::TextView text = t_.text_at(n.content);
          out.escaped(text.text, text.extra, false);
          break;
        }
        case NodeKind::Comment:
          out.put("<!--");
          out.put(t_.text_at(n.content).text);
          out.put("-->");
          break;
        case NodeKind::Document:
          break;
      }
      NodeId next = kNoNode;
      while (node != top && (next = t_.next_sibling(node)) == kNoNode) {
        node = t_.nodes_[node].parent;
        put_end_tag(out, node);
      }
      if (node == top) return;
      node = next;
    }
  }

  const DomTree& t_;
  std::vector<Open> open_;
};

std::string DomTree::markup(std::size_t spare) const {
  const NodeId root = document_element();
  if (root == kNoNode) return {};
  MarkupWriter writer(*this);
  Counter counter;
  writer.write(counter, root);
  std::string out;
  out.reserve(counter.size() + spare);
  populate(out.data(), counter.size());
  out.resize(counter.size());
  Filler filler(out.data(), out.data() + out.size());
  writer.write(filler, root);
  out.resize(static_cast<std::size_t>(filler.next() - out.data()));
  return out;
}

}  // namespace tarvex::companions::dom
