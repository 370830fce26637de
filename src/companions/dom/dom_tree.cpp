// The compact tree of the document object model, its invariant checks and its markup writer.
#include "companions/dom/dom_tree.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "automation/error.h"
#include "companions/dom/xml_text.h"

namespace tarvex::companions::dom {

namespace {

#if !defined(NDEBUG) || defined(TARVEX_CHECK_INVARIANTS)
constexpr bool kCheckInvariants = true;
#else
constexpr bool kCheckInvariants = false;
#endif

constexpr std::size_t kBlockSize = std::size_t{1} << 22;
constexpr std::size_t kMaxBlocks = std::size_t{1} << (32 - 22);
// Room kept free at a block's end: a text never starts in the last bytes of a block, so no
// text's place is the value that means none.
constexpr std::size_t kBlockTail = 32;

[[noreturn]] void out_of_memory() {
  automation::raise(automation::RuntimeError::OutOfMemory);
}

[[noreturn]] void broken(const char* invariant) {
  throw std::logic_error(invariant);
}

// A broken tree is a defect of this program: stop where it shows, not as wrong markup later.
template <class Check>
void debug_check(Check&& check) {
  if constexpr (kCheckInvariants) {
    try {
      check();
    } catch (const std::logic_error& e) {
      std::fprintf(stderr, "document tree invariant broken: %s\n", e.what());
      std::abort();
    }
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

// Whether two texts are equal. The cached names and values that the tree compares millions of
// times are short: compared here, without a call.
bool same_text(std::string_view a, std::string_view b) {
  const std::size_t n = a.size();
  if (n != b.size()) return false;
  // Up to sixteen bytes as two words each, which may overlap.
  auto same_words = [&](auto word) {
    decltype(word) a1, a2, b1, b2;
    std::memcpy(&a1, a.data(), sizeof word);
    std::memcpy(&b1, b.data(), sizeof word);
    std::memcpy(&a2, a.data() + n - sizeof word, sizeof word);
    std::memcpy(&b2, b.data() + n - sizeof word, sizeof word);
    return ((a1 ^ b1) | (a2 ^ b2)) == 0;
  };
  if (n > 16) return std::memcmp(a.data(), b.data(), n) == 0;
  if (n >= 8) return same_words(std::uint64_t{});
  if (n >= 4) return same_words(std::uint32_t{});
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// Where a pair is cached: a hash of the name and of the value's length and first and last
// eight bytes, which tell a listing's few repeated values apart.
std::uint32_t pair_slot(NameId name, std::string_view value) {
  std::uint64_t head = 0;
  std::uint64_t tail = 0;
  const std::size_t n = std::min<std::size_t>(value.size(), 8);
  if (n > 0) {
    std::memcpy(&head, value.data(), n);
    std::memcpy(&tail, value.data() + value.size() - n, n);
  }
  std::uint64_t h = (head * 0x9E3779B97F4A7C15u) ^ (tail * 0xC2B2AE3D27D4EB4Fu) ^
                    ((std::uint64_t{value.size()} << 32 | name.value()) * 0x165667B19E3779F9u);
  h ^= h >> 29;
  return static_cast<std::uint32_t>(h & 1023);
}

}  // namespace

DomTree::DomTree() {
  add_node(NodeKind::Document, 0, 0, NodeId().value());
}

NodeId DomTree::add_node(NodeKind kind, std::uint32_t flags, std::uint32_t name,
                         std::uint32_t content) {
  const NodeId id =
      nodes_.push_back({static_cast<std::uint32_t>(kind) | flags | (name << kNameShift), NodeId(),
                        NodeId(), content, AttributeId()});
  if (id.is_none()) out_of_memory();
  return id;
}

NameId DomTree::intern_name(std::string_view name) {
  // A report uses a dozen names millions of times: most are found in the cache, unhashed.
  const std::size_t slot = name.empty()
                               ? 0
                               : (name.size() * 7 + static_cast<unsigned char>(name.front()) * 3 +
                                  static_cast<unsigned char>(name.back())) &
                                     (kNameCache - 1);
  if (const NameId cached = name_cache_[slot];
      !cached.is_none() && same_text(names_[cached.value()], name)) {
    return cached;
  }
  NameId id;
  if (auto found = name_ids_.find(name); found != name_ids_.end()) {
    id = found->second;
  } else {
    check_xml_name(name);  // a name is checked once per document
    if (names_.size() >= (std::size_t{1} << (32 - kNameShift))) out_of_memory();
    id = NameId(static_cast<std::uint32_t>(names_.size()));
    names_.emplace_back(name);
    name_ids_.emplace(names_.back(), id);
  }
  name_cache_[slot] = id;
  return id;
}

// A text is its length (shifted left, the low bit telling whether escaping changes it) and its
// bytes. It is stored as XML can carry it: this is the one place texts are made safe.
TextId DomTree::store_text(std::string_view text, Role role) {
  std::string safe;
  bool escaped = false;
  if (role == Role::Comment) {
    safe = xml_comment_text(text);
    text = safe;
  } else {
    const EscapeTable& escapes =
        role == Role::Attribute ? kXmlEscapes.attribute : kXmlEscapes.content;
    TextScan scan = scan_text(text, escapes);
    if (scan.unsafe != std::string_view::npos) {
      safe = xml_text(text);
      text = safe;
      scan = scan_text(text, escapes);
    }
    escaped = scan.escaped;
  }
  const std::size_t need = text.size() + 10;  // and a length of at most ten bytes
  auto new_block = [&](std::size_t size) {
    if (blocks_.size() >= kMaxBlocks) out_of_memory();
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
    arena_bytes_ += size;
    return blocks_.size() - 1;
  };
  if (blocks_.empty()) current_ = new_block(kBlockSize);
  // A long text gets a block of its own, so as not to waste the rest of the current one.
  const bool own = need > kBlockSize / 4;
  std::size_t block = current_;
  std::size_t offset = block_used_;
  if (own) {
    block = new_block(need);
    offset = 0;
  } else if (block_used_ + need > kBlockSize - kBlockTail) {
    block = current_ = new_block(kBlockSize);
    offset = block_used_ = 0;
  }
  char* start = blocks_[block].get() + offset;
  char* end = put_varint(start, text.size() << 1 | (escaped ? 1 : 0));
  std::memcpy(end, text.data(), text.size());
  if (!own) block_used_ += static_cast<std::size_t>(end - start) + text.size();
  return TextId(static_cast<std::uint32_t>(block << kBlockBits | offset));
}

DomTree::TextView DomTree::text_at(TextId text) const {
  const char* in =
      blocks_[text.value() >> kBlockBits].get() + (text.value() & ((1u << kBlockBits) - 1));
  std::size_t head = 0;
  in = get_varint(in, head);
  return {{in, head >> 1}, (head & 1) != 0};
}

NodeId DomTree::new_element(std::string_view name) {
  return add_node(NodeKind::Element, 0, intern_name(name).value(), NodeId().value());
}

NodeId DomTree::new_comment(std::string_view text) {
  return add_node(NodeKind::Comment, 0, 0, store_text(text, Role::Comment).value());
}

NodeId DomTree::first_child(NodeId node) const {
  const Node& n = nodes_[node];
  const NodeKind k = static_cast<NodeKind>(n.tag & kKindMask);
  if (k != NodeKind::Element && k != NodeKind::Document) return NodeId();
  const NodeId last = n.last_child();
  return last.is_none() ? last : nodes_[last].next;
}

NodeId DomTree::next_sibling(NodeId node) const {
  const Node& n = nodes_[node];
  if (n.parent.is_none() || nodes_[n.parent].last_child() == node) return NodeId();
  return n.next;
}

const char* DomTree::cannot_append(NodeId parent, NodeId child) const {
  const NodeKind pk = kind(parent);
  const NodeKind ck = kind(child);
  if (pk == NodeKind::Document) {
    if (ck != NodeKind::Element || !document_element().is_none()) {
      return "a document holds one element and nothing else";
    }
    return nullptr;
  }
  if (pk != NodeKind::Element || ck == NodeKind::Document) {
    return "the node cannot be appended here";
  }
  for (NodeId n = parent; !n.is_none(); n = nodes_[n].parent) {
    if (n == child) return "the node cannot be appended here";
  }
  return nullptr;
}

void DomTree::detach(NodeId child) {
  const NodeId parent = nodes_[child].parent;
  if (parent.is_none()) return;
  Node& p = nodes_[parent];
  // Find the child's predecessor in the ring, starting from the last child: O(1) for the
  // first child, which is what a node taken off in order is.
  NodeId before = p.last_child();
  while (nodes_[before].next != child) before = nodes_[before].next;
  if (before == child) {
    p.content = NodeId().value();
  } else {
    nodes_[before].next = nodes_[child].next;
    if (p.last_child() == child) p.content = before.value();
  }
  nodes_[child].parent = NodeId();
  nodes_[child].next = NodeId();
  if (kind(child) != NodeKind::Element) update_mixed(parent);
}

void DomTree::update_mixed(NodeId element) {
  nodes_[element].tag &= ~kMixed;
  for (NodeId c = first_child(element); !c.is_none(); c = next_sibling(c)) {
    if (kind(c) != NodeKind::Element) {
      nodes_[element].tag |= kMixed;
      return;
    }
  }
}

void DomTree::materialise_text(NodeId element) {
  const TextId text = nodes_[element].text();
  nodes_[element].tag &= ~kHoldsText;
  nodes_[element].content = NodeId().value();
  append(element, add_node(NodeKind::Text, 0, 0, text.value()));
}

void DomTree::append(NodeId parent, NodeId child) {
  const NodeId from = nodes_[child].parent;
  detach(child);
  if (holds_text(parent)) materialise_text(parent);
  Node& p = nodes_[parent];
  Node& c = nodes_[child];
  const NodeId last = p.last_child();
  if (last.is_none()) {
    c.next = child;
  } else {
    c.next = nodes_[last].next;
    nodes_[last].next = child;
  }
  p.content = child.value();
  c.parent = parent;
  if (static_cast<NodeKind>(c.tag & kKindMask) != NodeKind::Element) p.tag |= kMixed;
  debug_check([&] {
    check_edit(parent);
    if (!from.is_none()) check_edit(from);
  });
}

void DomTree::set_text(NodeId node, std::string_view text) {
  if (kind(node) != NodeKind::Element) {
    nodes_[node].content =
        store_text(text, kind(node) == NodeKind::Comment ? Role::Comment : Role::Content).value();
    return;
  }
  // Elements and comments leave the tree but stay usable: a caller may still hold them.
  for (NodeId c = first_child(node); !c.is_none();) {
    const NodeId next = next_sibling(c);
    nodes_[c].parent = NodeId();
    nodes_[c].next = NodeId();
    c = next;
  }
  nodes_[node].tag &= ~(kHoldsText | kMixed);
  nodes_[node].content = NodeId().value();
  if (!text.empty()) {
    nodes_[node].content = store_text(text, Role::Content).value();
    nodes_[node].tag |= kHoldsText;
  }
  debug_check([&] { check_edit(node); });
}

std::string DomTree::text(NodeId node) const {
  switch (kind(node)) {
    case NodeKind::Text:
    case NodeKind::Comment:
      return std::string(text_at(nodes_[node].text()).text);
    case NodeKind::Document:
      node = document_element();
      if (node.is_none()) return {};
      break;
    case NodeKind::Element:
      break;
  }
  std::string out;
  // Depth first, in document order; climbing by parent links keeps the stack flat.
  NodeId n = node;
  while (true) {
    if (holds_text(n) || kind(n) == NodeKind::Text) {
      out += text_at(nodes_[n].text()).text;
    } else if (kind(n) == NodeKind::Element) {
      if (NodeId c = first_child(n); !c.is_none()) {
        n = c;
        continue;
      }
    }
    NodeId next;
    while (n != node && (next = next_sibling(n)).is_none()) n = nodes_[n].parent;
    if (n == node) return out;
    n = next;
  }
}

PairId DomTree::intern_pair(NameId name, std::string_view value) {
  // What is held is safe, so a value equal to it is safe as it is too. An unsafe value is held
  // as made safe, never equals what it was set from, and so is never shared.
  const std::uint32_t slot = pair_slot(name, value);
  const PairId cached = pair_cache_[slot];
  if (!cached.is_none() && pairs_[cached].name == name &&
      same_text(text_at(pairs_[cached].value).text, value)) {
    return cached;
  }
  const PairId id = pairs_.push_back({name, store_text(value, Role::Attribute)});
  if (id.is_none()) out_of_memory();
  pair_cache_[slot] = id;
  return id;
}

void DomTree::set_attribute(NodeId element, std::string_view name, std::string_view value) {
  const NameId name_id = intern_name(name);
  const PairId pair = intern_pair(name_id, value);
  AttributeId* link = &nodes_[element].attributes;
  while (!link->is_none()) {
    Attribute& a = attributes_[*link];
    if (pairs_[a.pair].name == name_id) {
      a.pair = pair;
      return;
    }
    link = &a.next;
  }
  const AttributeId id = attributes_.push_back({pair, AttributeId()});
  if (id.is_none()) out_of_memory();
  *link = id;
  debug_check([&] { check_node(element); });
}

std::size_t DomTree::bytes_held() const {
  return std::size_t{nodes_.size()} * sizeof(Node) +
         std::size_t{attributes_.size()} * sizeof(Attribute) +
         std::size_t{pairs_.size()} * sizeof(Pair) + arena_bytes_;
}

// ---- Invariants ----

void DomTree::check_node(NodeId node) const {
  const Node& n = nodes_[node];
  const NodeKind k = kind(node);
  if (n.parent.is_none() != n.next.is_none())
    broken("a node has a parent but no next or the reverse");
  if (!n.parent.is_none()) {
    const NodeKind pk = kind(n.parent);
    if (pk != NodeKind::Element && pk != NodeKind::Document) broken("a parent is no element");
    if (nodes_[n.parent].last_child().is_none()) broken("a parent holds no children");
    if (nodes_[n.next].parent != n.parent) broken("a sibling ring crosses parents");
    if (k == NodeKind::Text && nodes_[nodes_[n.parent].last_child()].next != node) {
      broken("a text node is not its parent's first child");
    }
  }
  if (k == NodeKind::Element) {
    if (name_id(node).value() >= names_.size()) broken("an element's name is none");
    std::size_t seen = 0;
    for (AttributeId a = n.attributes; !a.is_none(); a = attributes_[a].next) {
      if (a.value() >= attributes_.size() || attributes_[a].pair.value() >= pairs_.size()) {
        broken("an attribute link leads nowhere");
      }
      const NameId name = pairs_[attributes_[a].pair].name;
      for (AttributeId b = n.attributes; b != a; b = attributes_[b].next) {
        if (pairs_[attributes_[b].pair].name == name) broken("an attribute is set twice");
      }
      if (++seen > attributes_.size()) broken("an attribute list loops");
    }
  } else if ((n.tag & (kHoldsText | kMixed)) != 0 || !n.attributes.is_none()) {
    broken("a node that is no element carries an element's flags or attributes");
  }
  if (k == NodeKind::Document && !n.last_child().is_none() &&
      (kind(n.last_child()) != NodeKind::Element ||
       nodes_[n.last_child()].next != n.last_child())) {
    broken("the document holds something beside its one element");
  }
}

// After an edit: the node itself and its ring of children, walked only as far as the check
// can stay cheap (a report's body has a million children; the whole walk is check_invariants).
void DomTree::check_edit(NodeId node) const {
  check_node(node);
  const NodeId last = nodes_[node].last_child();
  if (last.is_none()) {
    if ((nodes_[node].tag & kMixed) != 0) broken("an element without children is marked mixed");
    return;
  }
  if (nodes_[last].parent != node) broken("a parent's last child names another parent");
  check_node(last);
  check_node(nodes_[last].next);
  if (kind(last) != NodeKind::Element && (nodes_[node].tag & kMixed) == 0) {
    broken("an element with a child that is no element is not marked mixed");
  }
}

void DomTree::check_invariants() const {
  const std::uint32_t count = nodes_.size();
  // How many children name each node as their parent, against how many its ring holds.
  std::vector<std::uint32_t> named(count, 0);
  for (std::uint32_t i = 0; i < count; ++i) {
    const NodeId node(i);
    const Node& n = nodes_[node];
    if (!n.parent.is_none() && n.parent.value() >= count) broken("a parent link leads nowhere");
    if (!n.next.is_none() && n.next.value() >= count) broken("a sibling link leads nowhere");
    if ((kind(node) == NodeKind::Element || kind(node) == NodeKind::Document) &&
        !n.last_child().is_none() && n.last_child().value() >= count) {
      broken("a child link leads nowhere");
    }
    if (i == 0 ? kind(node) != NodeKind::Document || !n.parent.is_none()
               : kind(node) == NodeKind::Document) {
      broken("the document is not the first node, or is in a tree");
    }
    check_node(node);
    if (!n.parent.is_none()) ++named[n.parent.value()];
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    const NodeId node(i);
    const NodeId last = nodes_[node].last_child();
    if (kind(node) != NodeKind::Element && kind(node) != NodeKind::Document) continue;
    std::uint32_t in_ring = 0;
    bool mixed = false;
    if (!last.is_none()) {
      NodeId c = last;
      do {
        if (nodes_[c].parent != node) broken("a sibling ring holds a node of another parent");
        mixed = mixed || kind(c) != NodeKind::Element;
        c = nodes_[c].next;
        if (++in_ring > named[i]) broken("a sibling ring does not close");
      } while (c != last);
    }
    if (in_ring != named[i]) broken("a node names a parent whose ring does not hold it");
    if (mixed != ((nodes_[node].tag & kMixed) != 0)) {
      broken("the mixed-content mark does not match the children");
    }
  }
}

// ---- Markup ----

// Names and attributes repeat millions of times: each name's tags and each attribute's markup
// are made once, on first use, and then copied whole.
class MarkupWriter {
 public:
  MarkupWriter(const DomTree& tree, contracts::TextSink& out)
      : t_(tree), out_(out), tags_(tree.names_.size()), attributes_(tree.pairs_.size()) {}

  // Elements whose children are all elements get one child a line, indented by two blanks;
  // any other element is written on one line as it is, so no added blank joins a text.
  void write(NodeId top) {
    if (!lays_out_children(top)) {
      put_inline(top);
      return;
    }
    put_start_tag(top);
    std::vector<Open> open{opening(top)};
    while (!open.empty()) {
      Open& current = open.back();
      if (current.next.is_none()) {
        put_line_break(open.size() - 1);
        put_end_tag(current.element);
        open.pop_back();
        continue;
      }
      const NodeId child = current.next;
      current.next = child == current.last ? NodeId() : t_.nodes_[child].next;
      put_line_break(open.size());
      if (lays_out_children(child)) {
        put_start_tag(child);
        open.push_back(opening(child));
      } else {
        put_inline(child);
      }
    }
  }

 private:
  struct Open {
    NodeId element;
    NodeId next;  // the child to write next
    NodeId last;
  };
  struct Tags {
    std::string start;  // "<name"
    std::string end;    // "</name>"
  };

  Open opening(NodeId element) const {
    const NodeId last = t_.nodes_[element].last_child();
    return {element, t_.nodes_[last].next, last};
  }

  bool lays_out_children(NodeId node) const {
    const DomTree::Node& n = t_.nodes_[node];
    return (n.tag & DomTree::kKindMask) == static_cast<std::uint32_t>(NodeKind::Element) &&
           (n.tag & (DomTree::kHoldsText | DomTree::kMixed)) == 0 && !n.last_child().is_none();
  }

  const Tags& tags(NodeId element) {
    Tags& tags = tags_[t_.name_id(element).value()];
    if (tags.start.empty()) {
      const std::string_view name = t_.name_of(element);
      tags.start.append("<").append(name);
      tags.end.append("</").append(name).append(">");
    }
    return tags;
  }

  void put_text(TextId text, const EscapeTable& escapes) {
    const DomTree::TextView view = t_.text_at(text);
    if (view.escaped) {
      put_escaped(out_, view.text, escapes);
    } else {
      out_.put(view.text);
    }
  }

  void put_start_tag(NodeId element) {
    out_.put(tags(element).start);
    for (AttributeId a = t_.nodes_[element].attributes; !a.is_none(); a = t_.attributes_[a].next) {
      const PairId id = t_.attributes_[a].pair;
      std::string& markup = attributes_[id.value()];
      if (markup.empty()) {
        const DomTree::Pair& pair = t_.pairs_[id];
        contracts::StringSink sink;
        sink.put(' ');
        sink.put(t_.names_[pair.name.value()]);
        sink.put("=\"");
        const DomTree::TextView value = t_.text_at(pair.value);
        put_escaped(sink, value.text, kXmlEscapes.attribute);
        sink.put('"');
        markup = std::move(sink).take();
      }
      out_.put(markup);
    }
    out_.put('>');
  }

  void put_end_tag(NodeId element) { out_.put(tags(element).end); }

  void put_line_break(std::size_t depth) {
    out_.put('\n');
    out_.fill(' ', depth * 2);
  }

  // Writes a node and everything below it on one line, as it is.
  void put_inline(NodeId top) {
    NodeId node = top;
    while (true) {
      const DomTree::Node& n = t_.nodes_[node];
      switch (static_cast<NodeKind>(n.tag & DomTree::kKindMask)) {
        case NodeKind::Element: {
          put_start_tag(node);
          if (n.tag & DomTree::kHoldsText) {
            put_text(n.text(), kXmlEscapes.content);
          } else if (!n.last_child().is_none()) {
            node = t_.nodes_[n.last_child()].next;
            continue;
          }
          put_end_tag(node);
          break;
        }
        case NodeKind::Text:
          put_text(n.text(), kXmlEscapes.content);
          break;
        case NodeKind::Comment:
          out_.put("<!--");
          out_.put(t_.text_at(n.text()).text);
          out_.put("-->");
          break;
        case NodeKind::Document:
          break;
      }
      NodeId next;
      while (node != top && (next = t_.next_sibling(node)).is_none()) {
        node = t_.nodes_[node].parent;
        put_end_tag(node);
      }
      if (node == top) return;
      node = next;
    }
  }

  const DomTree& t_;
  contracts::TextSink& out_;
  std::vector<Tags> tags_;               // by name
  std::vector<std::string> attributes_;  // by pair: ` name="value"`
};

void DomTree::write_markup(contracts::TextSink& out) const {
  debug_check([&] { check_invariants(); });
  const NodeId root = document_element();
  if (root.is_none()) return;
  MarkupWriter(*this, out).write(root);
}

}  // namespace tarvex::companions::dom
