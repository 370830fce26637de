// XmlUtility: element and attribute building and the document's markup.
#include "companions/dom/xml_utility.h"

#include "automation/error.h"
#include "companions/dom/dom_node.h"

namespace tarvex::companions::dom {

using automation::ObjectRef;
using automation::RuntimeError;
using automation::Variant;

namespace {

// Elements are never put in a namespace of their own: only the empty value (or an empty
// text) is accepted as the namespace argument.
void check_no_namespace(const Variant& name_space) {
  if (name_space.is_empty()) return;
  if (name_space.kind() == automation::Kind::String && name_space.as_string().empty()) return;
  automation::raise(RuntimeError::InvalidProcedureCall, "elements take no namespace");
}

// As object_as<DomNode>(), without taking a reference: this is called for every cell.
DomNode& dom_of(const ObjectRef& object) {
  if (!object) automation::raise(RuntimeError::ObjectNotSet);
  DomNode* node = DomNode::from(object.get());
  if (!node) automation::raise(RuntimeError::TypeMismatch);
  return *node;
}

DomNode& element_of(const ObjectRef& object) {
  DomNode& element = dom_of(object);
  if (element.kind() != NodeKind::Element) automation::raise(RuntimeError::TypeMismatch);
  return element;
}

ObjectRef append_element(DomNode& parent, const std::string& name) {
  DomTree& tree = parent.tree();
  const NodeId element = tree.new_element(name);
  tree.append(parent.id(), element);
  return parent.wrap(element);
}

}  // namespace

ObjectRef XmlUtilityImpl::AppendRootElement(ObjectRef& document, const std::string& name,
                                            const Variant& name_space) {
  DomNode& doc = dom_of(document);
  if (!doc.is_document()) automation::raise(RuntimeError::TypeMismatch);
  check_no_namespace(name_space);
  if (!doc.tree().document_element().is_none()) {
    automation::raise(RuntimeError::InvalidProcedureCall, "the document has its element");
  }
  return append_element(doc, name);
}

ObjectRef XmlUtilityImpl::AppendChildElement(ObjectRef& parent, const std::string& name,
                                             const Variant& name_space) {
  DomNode& node = dom_of(parent);
  if (node.is_document()) return AppendRootElement(parent, name, name_space);
  if (node.kind() != NodeKind::Element) automation::raise(RuntimeError::TypeMismatch);
  check_no_namespace(name_space);
  return append_element(node, name);
}

ObjectRef XmlUtilityImpl::SetElementAttribute(ObjectRef& element, const std::string& name,
                                              const std::string& value) {
  DomNode& node = element_of(element);
  node.tree().set_attribute(node.id(), name, value);
  return element;
}

std::string XmlUtilityImpl::DocumentText(ObjectRef& document) {
  contracts::StringSink sink;
  WriteDocumentText(document, sink);
  return std::move(sink).take();
}

void XmlUtilityImpl::WriteDocumentText(ObjectRef& document, contracts::TextSink& sink) {
  DomNode& doc = dom_of(document);
  if (!doc.is_document()) automation::raise(RuntimeError::TypeMismatch);
  doc.tree().write_markup(sink);
}

}  // namespace tarvex::companions::dom
