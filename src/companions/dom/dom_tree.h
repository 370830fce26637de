// The tree behind the document object model, sized for what a report does: millions of small
// elements, appended once, with a few names and attribute values that repeat.
//
// A node is five 32-bit words in one chunked array (no allocation per node, and growth never
// copies what is there). Names are interned once per document; an attribute is a link to an
// interned (name, value) pair, so a value that repeats (a listing's cell widths) is held once.
// Texts live in an arena, each with its length and with how much escaping will add to it, so
// that the markup's size is known without reading a text. A document holds up to 2^32 nodes and
// about 4 GiB of text; beyond that appending raises 7 (out of memory).
//
// Children form a ring through `next` (the last child links back to the first) and the parent
// holds the last child: appending is O(1). An element whose only content is a text holds that
// text itself; it becomes a text node of its own only when something is appended after it.
// Texts cannot be put anywhere else (a text is only ever set as an element's whole content),
// so a text is always the first child.
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

namespace tarvex::companions::dom {

using NodeId = std::uint32_t;
inline constexpr NodeId kNoNode = 0xFFFFFFFF;
inline constexpr NodeId kDocumentNode = 0;

enum class NodeKind : std::uint8_t { Document, Element, Text, Comment };

// Grows in chunks of 2^Bits items; an item never moves.
template <class T, unsigned Bits>
class ChunkedArray {
 public:
  std::uint32_t size() const { return size_; }
  T& operator[](std::uint32_t i) { return chunks_[i >> Bits][i & kMask]; }
  const T& operator[](std::uint32_t i) const { return chunks_[i >> Bits][i & kMask]; }
  // The index of the new item, or kNoNode when the array is full.
  std::uint32_t push_back(const T& item) {
    if (size_ == kNoNode) return kNoNode;
    if ((size_ & kMask) == 0) chunks_.push_back(std::make_unique_for_overwrite<T[]>(kMask + 1));
    (*this)[size_] = item;
    return size_++;
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
  NodeId document_element() const;

  // New nodes, not yet in the tree. A name that is not an XML name raises 5.
  NodeId new_element(std::string_view name);
  NodeId new_comment(std::string_view text);

  // Appends `child` as the last child of `parent`, taking it from where it was. The caller has
  // checked that this keeps the document well-formed (see can_append).
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

  // The markup of the document element and all below it (empty without one), laid out as
  // described in xml_utility.h, in a string of exactly its size with room for `spare` more.
  std::string markup(std::size_t spare) const;

  // Bytes held by the tree's arrays and arena: for measuring.
  std::size_t bytes_held() const;

 private:
  struct Node {
    std::uint32_t tag;  // kind, flags and name
    NodeId parent;
    NodeId next;               // next sibling; the last child links to the first
    std::uint32_t content;     // element: last child, or its text (kHoldsText); text, comment: text
    std::uint32_t attributes;  // element: first attribute
  };
  struct Attribute {
    std::uint32_t pair;
    std::uint32_t next;
  };
  struct Pair {
    std::uint32_t name;
    std::uint32_t value;  // a text
  };
  // A text's place in the arena: block in the high bits, offset in the low ones; 0 is none.
  using TextRef = std::uint32_t;
  enum class Role : std::uint8_t { Content, Attribute, Comment };
  struct TextView {
    std::string_view text;
    std::size_t extra;  // bytes that escaping adds
  };

  static constexpr std::uint32_t kKindMask = 3;
  static constexpr std::uint32_t kHoldsText = 4;  // an element's content is its text
  static constexpr std::uint32_t kMixed = 8;      // an element has a child that is no element
  static constexpr unsigned kNameShift = 4;
  static constexpr unsigned kBlockBits = 22;

  friend class MarkupWriter;

  NodeId add_node(NodeKind kind, std::uint32_t flags, std::uint32_t name, std::uint32_t content);
  std::uint32_t intern_name(std::string_view name);
  TextRef store_text(std::string_view text, Role role);
  TextView text_at(TextRef ref) const;
  std::uint32_t intern_pair(std::uint32_t name, std::string_view value);
  void detach(NodeId child);
  void materialise_text(NodeId element);
  void update_mixed(NodeId element);

  NodeId first_child(NodeId node) const;
  NodeId next_sibling(NodeId node) const;
  bool holds_text(NodeId node) const { return (nodes_[node].tag & kHoldsText) != 0; }
  std::string_view name_of(NodeId node) const { return names_[nodes_[node].tag >> kNameShift]; }

  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };

  ChunkedArray<Node, 16> nodes_;
  ChunkedArray<Attribute, 16> attributes_;
  ChunkedArray<Pair, 12> pairs_;
  std::vector<std::string> names_;
  std::unordered_map<std::string, std::uint32_t, NameHash, std::equal_to<>> name_ids_;
  static constexpr std::size_t kNameCache = 64;
  std::array<std::uint32_t, kNameCache> name_cache_;
  // Recently set pairs by a hash of name and value: repeated values are found here.
  std::array<std::uint32_t, 1024> pair_cache_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t current_ = 0;     // the block texts go into (a long text gets a block of its own)
  std::size_t block_used_ = 0;  // bytes used in it
  std::size_t arena_bytes_ = 0;
};

}  // namespace tarvex::companions::dom
