// The document object model behind "MSXML2.DOMDocument": one object class for the document and
// its nodes, each a handle on a node of a DomTree that keeps the tree alive.
//
// Members by name: createComment(text) (document only) -> a new comment node, not yet in the
// tree; appendchild(node) -> appends node (of the same document) as the last child, moving it
// if it already had a place, and returns it; Text and nodeTypedValue, get: the text below the
// node; put: an element's content becomes one text node holding the text, a comment takes the
// text as its value. Texts are made safe for XML as they are set (xml_text.h).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "automation/object.h"
#include "companions/dom/dom_tree.h"

namespace tarvex::companions::dom {

class DomNode : public automation::Object {
 public:
  // A new, empty document.
  static std::shared_ptr<DomNode> create_document();
  // The object as a node, or nullptr when it is none: cheaper than a dynamic_cast.
  static DomNode* from(automation::Object* object);

  DomTree& tree() const { return shared_->tree; }
  NodeId id() const { return id_; }
  NodeKind kind() const { return tree().kind(id_); }
  bool is_document() const { return id_ == kDocumentNode; }
  // Whether both belong to the same document.
  bool shares_document(const DomNode& other) const { return shared_ == other.shared_; }
  // A handle on another node of this node's document.
  std::shared_ptr<DomNode> wrap(NodeId node) const;

  std::shared_ptr<DomNode> createComment(std::string_view text);
  // Appends `child` and returns it; 5 when it belongs to another document, would become its own
  // descendant, or would give the document a second document element or a non-element child.
  const automation::ObjectRef& appendchild(const automation::ObjectRef& child);
  std::string text() const { return tree().text(id_); }
  void set_text(std::string_view text);

  automation::Variant invoke(std::string_view member, automation::CallKind kind,
                             automation::Args& args) override;

 protected:
  // A document's tree and the number of handles that keep it. Every handle of a document is
  // used on the thread that made it, so the count is a plain number: a report makes and drops
  // millions of handles.
  struct Shared {
    DomTree tree;
    std::size_t handles = 0;
  };

  DomNode(Shared* shared, NodeId id) : shared_(shared), id_(id) { ++shared_->handles; }
  ~DomNode() override {
    if (--shared_->handles == 0) delete shared_;
  }
  DomNode(const DomNode&) = delete;
  DomNode& operator=(const DomNode&) = delete;

  Shared* shared_;
  NodeId id_;
};

}  // namespace tarvex::companions::dom
