// The tree behind the document object model, sized for what a report does: millions of small
// elements, appended once, with a few names and attribute values that repeat.
//
// A node is five 32-bit words in one chunked array (no allocation per node, and growth never
// copies what is there). Names are interned once per document; an attribute is a link to an
// interned (name, value) pair, so a value that repeats (a listing's cell widths) is held once.
// Texts live in an arena, each with its length and whether escaping changes it, so that nearly
// every text is written with one copy. A document holds up to 2^32 - 1 nodes and about 4 GiB of
// text; beyond that appending raises 7 (out of memory).
//
// Invariants (check_invariants; debug and fuzz builds check the nodes an edit touches, and the
// whole tree before it is written):
// - Children form a ring through `next` (the last child links back to the first) and the
//   parent holds the last child: appending is O(1). Every node of a ring names that parent;
//   a node outside the tree has no parent and no next.
// - An element whose only content is a text holds that text itself (no children); it becomes
//   a text node of its own only when something is appended after it. A text is only ever set
//   as an element's whole content, so a text node is always its parent's first child.
// - An element is marked mixed exactly when one of its children is not an element.
// - The document holds at most one child, an element.
//
// Nodes that are not in the tree (new comments, children taken off by a text put) have no
// parent and are never written; they stay valid for as long as the document lives.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "contracts/text_sink.h"

namespace tarvex::companions::dom {

// The index of one kind of thing in a tree. Each kind has its own type, and its own "none".
template <class Kind>
class Id {
 public:
  constexpr Id() = default;
  constexpr explicit Id(std::uint32_t value) : value_(value) {}
  constexpr std::uint32_t value() const { return value_; }
  constexpr bool is_none() const { return value_ == kNone; }
  friend constexpr bool operator==(Id, Id) = default;

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFF;
  std::uint32_t value_ = kNone;
};

using NodeId = Id<struct NodeKindTag>;
using NameId = Id<struct NameKindTag>;
using TextId = Id<struct TextKindTag>;            // a text's place in the arena
using PairId = Id<struct PairKindTag>;            // an interned (name, value) pair
using AttributeId = Id<struct AttributeKindTag>;  // one attribute of one element

inline constexpr NodeId kDocumentNode{0};

enum class NodeKind : std::uint8_t { Document, Element, Text, Comment };

// Grows in chunks of 2^Bits items; an item never moves.
template <class T, class Index, unsigned Bits>
class ChunkedArray {
 public:
  std::uint32_t size() const { return size_; }
  T& operator[](Index i) { return chunks_[i.value() >> Bits][i.value() & kMask]; }
  const T& operator[](Index i) const { return chunks_[i.value() >> Bits][i.value() & kMask]; }
  // The index of the new item, or none when the array is full.
  Index push_back(const T& item) {
    if (Index(size_).is_none()) return Index();
    if ((size_ & kMask) == 0) chunks_.push_back(std::make_unique_for_overwrite<T[]>(kMask + 1));
    const Index index(size_++);
    (*this)[index] = item;
    return index;
  }

 private:
  static constexpr std::uint32_t kMask = (1u << Bits) - 1;
  std::vector<std::unique_ptr<T[]>> chunks_;
  std::uint32_t size_ = 0;
};

class DomTree {
 public:
  DomTree();
  DomTree(const DomTree&) = delete;
  DomTree& operator=(const DomTree&) = delete;

  NodeKind kind(NodeId node) const { return static_cast<NodeKind>(nodes_[node].tag & kKindMask); }
  NodeId parent(NodeId node) const { return nodes_[node].parent; }
  NodeId document_element() const { return nodes_[kDocumentNode].last_child(); }

  // New nodes, not yet in the tree. A name that is not an XML name raises 5.
  NodeId new_element(std::string_view name);
  NodeId new_comment(std::string_view text);

  // Appends `child` as the last child of `parent`, taking it from where it was. The caller has
  // checked that this keeps the document well-formed (see cannot_append).
  void append(NodeId parent, NodeId child);
  // Why appending would not keep the tree well-formed, or nullptr when it is fine.
  const char* cannot_append(NodeId parent, NodeId child) const;

  // An element's content becomes the text (none when empty): texts below it are dropped,
  // elements and comments leave the tree. A comment takes the text as its value.
  void set_text(NodeId node, std::string_view text);
  // The texts below a node joined (a document's are its document element's); a comment's value.
  std::string text(NodeId node) const;

  // Sets the attribute or replaces its value, keeping its place (5 for a name that is none).
  void set_attribute(NodeId element, std::string_view name, std::string_view value);

  // Writes the markup of the document element and all below it (nothing without one), laid out
  // as described in xml_utility.h, in one pass.
  void write_markup(contracts::TextSink& out) const;

  // Raises std::logic_error naming the first invariant (above) that does not hold.
  void check_invariants() const;

  // Bytes held by the tree's arrays and arena: for measuring.
  std::size_t bytes_held() const;

 private:
  struct Node {
    std::uint32_t tag;  // kind, flags and name
    NodeId parent;
    NodeId next;  // next sibling; the last child links to the first
    // Element or document: the last child, or with kHoldsText the element's text; text and
    // comment: the text.
    std::uint32_t content;
    AttributeId attributes;  // element: the first attribute

    NodeId last_child() const { return (tag & kHoldsText) ? NodeId() : NodeId(content); }
    TextId text() const { return TextId(content); }
  };
  struct Attribute {
    PairId pair;
    AttributeId next;
  };
  struct Pair {
    NameId name;
    TextId value;
  };
  enum class Role : std::uint8_t { Content, Attribute, Comment };
  struct TextView {
    std::string_view text;
    bool escaped;  // escaping changes it
  };

  static constexpr std::uint32_t kKindMask = 3;
  static constexpr std::uint32_t kHoldsText = 4;  // an element's content is its text
  static constexpr std::uint32_t kMixed = 8;      // an element has a child that is no element
  static constexpr unsigned kNameShift = 4;
  static constexpr unsigned kBlockBits = 22;

  friend class MarkupWriter;

  NodeId add_node(NodeKind kind, std::uint32_t flags, std::uint32_t name, std::uint32_t content);
  NameId intern_name(std::string_view name);
  TextId store_text(std::string_view text, Role role);
  TextView text_at(TextId text) const;
  PairId intern_pair(NameId name, std::string_view value);
  void detach(NodeId child);
  void materialise_text(NodeId element);
  void update_mixed(NodeId element);
  // The invariants around one node, in time proportional to its attributes; what debug builds
  // check after an edit.
  void check_node(NodeId node) const;
  void check_edit(NodeId node) const;

  NodeId first_child(NodeId node) const;
  NodeId next_sibling(NodeId node) const;
  bool holds_text(NodeId node) const { return (nodes_[node].tag & kHoldsText) != 0; }
  NameId name_id(NodeId node) const { return NameId(nodes_[node].tag >> kNameShift); }
  std::string_view name_of(NodeId node) const { return names_[name_id(node).value()]; }

  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };

  ChunkedArray<Node, NodeId, 16> nodes_;
  ChunkedArray<Attribute, AttributeId, 16> attributes_;
  ChunkedArray<Pair, PairId, 12> pairs_;
  std::vector<std::string> names_;
  std::unordered_map<std::string, NameId, NameHash, std::equal_to<>> name_ids_;
  static constexpr std::size_t kNameCache = 64;
  std::array<NameId, kNameCache> name_cache_{};
  // Recently set pairs by a hash of name and value: repeated values are found here.
  std::array<PairId, 1024> pair_cache_{};
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t current_ = 0;     // the block texts go into (a long text gets a block of its own)
  std::size_t block_used_ = 0;  // bytes used in it
  std::size_t arena_bytes_ = 0;
};

}  // namespace tarvex::companions::dom
