// The document object model behind "MSXML2.DOMDocument": one object class for the document and
// its nodes, each a handle on a pugixml node that keeps its document alive.
//
// Members by name: createComment(text) (document only) -> a new comment node, not yet in the
// tree; appendchild(node) -> appends node (of the same document) as the last child, moving it
// if it already had a place, and returns it; Text and nodeTypedValue, get: the text below the
// node; put: an element's content becomes one text node holding the text, a comment or text
// node takes the text as its value. Texts are made safe for XML as they are set (xml_text.h).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "automation/object.h"

namespace tarvex::companions::dom {

class DomNode : public automation::Object {
 public:
  // A new, empty document.
  static std::shared_ptr<DomNode> create_document();

  pugi::xml_node node() const { return node_; }
  bool is_document() const { return node_.type() == pugi::node_document; }
  // The document element of this node's document; null while there is none.
  pugi::xml_node document_element() const { return owner_->document_element(); }
  // Whether both belong to the same document.
  bool shares_document(const DomNode& other) const { return owner_ == other.owner_; }
  // A handle on another node of this node's document.
  std::shared_ptr<DomNode> wrap(pugi::xml_node node) const;

  std::shared_ptr<DomNode> createComment(std::string_view text);
  // Appends `child` and returns it; 5 when it belongs to another document, would become its own
  // descendant, or would give the document a second document element or a non-element child.
  const automation::ObjectRef& appendchild(const automation::ObjectRef& child);
  std::string text() const;
  void set_text(std::string_view text);

  automation::Variant invoke(std::string_view member, automation::CallKind kind,
                             automation::Args& args) override;

 private:
  DomNode(std::shared_ptr<pugi::xml_document> owner, pugi::xml_node node)
      : owner_(std::move(owner)), node_(node) {}

  std::shared_ptr<pugi::xml_document> owner_;
  pugi::xml_node node_;
};

}  // namespace tarvex::companions::dom
