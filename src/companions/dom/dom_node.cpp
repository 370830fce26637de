// Document object model nodes. Comments that are created but not yet appended wait as
// top-level nodes of the document, which is never written as a whole (only its document
// element is), so appending them is a move within one document: O(1), like every append.
#include "companions/dom/dom_node.h"

#include <array>

#include "automation/convert.h"
#include "automation/error.h"
#include "companions/dom/xml_text.h"

namespace tarvex::companions::dom {

using automation::Args;
using automation::CallKind;
using automation::ObjectRef;
using automation::RuntimeError;
using automation::Variant;

namespace {
[[noreturn]] void refuse(std::string_view why) {
  automation::raise(RuntimeError::InvalidProcedureCall, why);
}
}  // namespace

std::shared_ptr<DomNode> DomNode::create_document() {
  auto owner = std::make_shared<pugi::xml_document>();
  pugi::xml_node root = *owner;
  return std::shared_ptr<DomNode>(new DomNode(std::move(owner), root));
}

std::shared_ptr<DomNode> DomNode::wrap(pugi::xml_node node) const {
  if (!node) automation::raise(RuntimeError::OutOfMemory);
  // One allocation for the handle and its count: a report wraps every element it appends.
  struct Handle : DomNode {
    Handle(std::shared_ptr<pugi::xml_document> owner, pugi::xml_node node)
        : DomNode(std::move(owner), node) {}
  };
  return std::make_shared<Handle>(owner_, node);
}

std::shared_ptr<DomNode> DomNode::createComment(std::string_view text) {
  if (!is_document()) automation::raise_unknown_member("createComment");
  pugi::xml_node comment = owner_->append_child(pugi::node_comment);
  auto result = wrap(comment);
  comment.set_value(xml_comment_text(text).c_str());
  return result;
}

const ObjectRef& DomNode::appendchild(const ObjectRef& child) {
  auto node = automation::object_as<DomNode>(child);
  if (!shares_document(*node)) refuse("the node belongs to another document");
  if (is_document()) {
    if (node->node_.type() != pugi::node_element || owner_->document_element()) {
      refuse("a document holds one element and nothing else");
    }
  }
  if (!node_.append_move(node->node_)) refuse("the node cannot be appended here");
  return child;
}

std::string DomNode::text() const {
  if (node_.type() != pugi::node_element && node_.type() != pugi::node_document) {
    return node_.value();
  }
  // A document's text is that of its document element; waiting nodes are not part of it.
  pugi::xml_node top = is_document() ? owner_->document_element() : node_;
  std::string out;
  for (pugi::xml_node n = top.first_child(); n;) {
    if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) out += n.value();
    if (n.type() == pugi::node_element && n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n != top && !n.next_sibling()) n = n.parent();
    if (n == top) break;
    n = n.next_sibling();
  }
  return out;
}

void DomNode::set_text(std::string_view text) {
  switch (node_.type()) {
    case pugi::node_element: {
      // Texts are freed; elements and comments, which a caller may still hold, go back to
      // where unappended nodes wait, so no handle is ever left on freed memory.
      while (pugi::xml_node child = node_.first_child()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
          node_.remove_child(child);
        } else {
          owner_->append_move(child);
        }
      }
      if (text.empty()) return;
      pugi::xml_node data = node_.append_child(pugi::node_pcdata);
      if (first_unsafe(text) == std::string_view::npos) {
        data.set_value(text.data(), text.size());
      } else {
        data.set_value(xml_text(text).c_str());
      }
      return;
    }
    case pugi::node_comment:
      node_.set_value(xml_comment_text(text).c_str());
      return;
    case pugi::node_pcdata:
      node_.set_value(xml_text(text).c_str());
      return;
    default:
      refuse("the document's text cannot be set");
  }
}

namespace {
// Without a data type of its own, a node's typed value is its text.
Variant get_text(DomNode& self, Args& a) {
  a.expect(0);
  return self.text();
}

Variant put_text(DomNode& self, Args& a) {
  a.expect(1);
  const Variant& value = a[0];
  if (value.kind() == automation::Kind::String) {
    self.set_text(value.as_string());
  } else {
    self.set_text(automation::to_text(value));
  }
  return {};
}

}  // namespace

Variant DomNode::invoke(std::string_view member, CallKind kind, Args& args) {
  static const std::array<automation::Member<DomNode>, 6> members{{
      {"createComment", CallKind::Method,
       [](DomNode& self, Args& a) -> Variant {
         a.expect(1);
         return self.createComment(automation::to_text(a[0]));
       }},
      {"appendchild", CallKind::Method,
       [](DomNode& self, Args& a) -> Variant {
         a.expect(1);
         return self.appendchild(automation::object_of(a[0]));
       }},
      {"Text", CallKind::Get, get_text},
      {"Text", CallKind::Put, put_text},
      {"nodeTypedValue", CallKind::Get, get_text},
      {"nodeTypedValue", CallKind::Put, put_text},
  }};
  return automation::dispatch(*this, member, kind, args, members);
}

}  // namespace tarvex::companions::dom
