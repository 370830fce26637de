// Document object model nodes: late-bound members over the tree of dom_tree.h.
#include "companions/dom/dom_node.h"

#include <array>
#include <typeinfo>

#include "automation/convert.h"
#include "automation/error.h"

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

// One allocation for the handle and its count: a report wraps every element it appends.
struct Handle : DomNode {
  Handle(std::shared_ptr<DomTree> tree, NodeId id) : DomNode(std::move(tree), id) {}
};
}  // namespace

std::shared_ptr<DomNode> DomNode::create_document() {
  return std::make_shared<Handle>(std::make_shared<DomTree>(), kDocumentNode);
}

DomNode* DomNode::from(automation::Object* object) {
  // Every node is a Handle: comparing the type alone is enough.
  return object && typeid(*object) == typeid(Handle) ? static_cast<Handle*>(object) : nullptr;
}

std::shared_ptr<DomNode> DomNode::wrap(NodeId node) const {
  return std::make_shared<Handle>(tree_, node);
}

std::shared_ptr<DomNode> DomNode::createComment(std::string_view text) {
  if (!is_document()) automation::raise_unknown_member("createComment");
  return wrap(tree_->new_comment(text));
}

const ObjectRef& DomNode::appendchild(const ObjectRef& child) {
  DomNode* node = from(child.get());
  if (!child) automation::raise(RuntimeError::ObjectNotSet);
  if (!node) automation::raise(RuntimeError::TypeMismatch);
  if (!shares_document(*node)) refuse("the node belongs to another document");
  if (const char* why = tree_->cannot_append(id_, node->id_)) refuse(why);
  tree_->append(id_, node->id_);
  return child;
}

void DomNode::set_text(std::string_view text) {
  if (is_document()) refuse("the document's text cannot be set");
  tree_->set_text(id_, text);
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
  // Most used first: the report puts the Text of every cell.
  static const std::array<automation::Member<DomNode>, 6> members{{
      {"Text", CallKind::Put, put_text},
      {"Text", CallKind::Get, get_text},
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
      {"nodeTypedValue", CallKind::Get, get_text},
      {"nodeTypedValue", CallKind::Put, put_text},
  }};
  return automation::dispatch(*this, member, kind, args, members);
}

}  // namespace tarvex::companions::dom
