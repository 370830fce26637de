// XmlUtility: element and attribute building and the document's markup.
#include "companions/dom/xml_utility.h"

#include "automation/error.h"
#include "companions/dom/dom_node.h"
#include "companions/dom/xml_text.h"

namespace tarvex::companions::dom {

using automation::ObjectRef;
using automation::RuntimeError;
using automation::Variant;

namespace {

// Room left after the markup for a declaration and a DOCTYPE line put in front of it.
constexpr std::size_t kPrologueRoom = 512;

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
  auto* node = dynamic_cast<DomNode*>(object.get());
  if (!node) automation::raise(RuntimeError::TypeMismatch);
  return *node;
}

DomNode& element_of(const ObjectRef& object) {
  DomNode& element = dom_of(object);
  if (element.node().type() != pugi::node_element) automation::raise(RuntimeError::TypeMismatch);
  return element;
}

}  // namespace

ObjectRef XmlUtilityImpl::AppendRootElement(ObjectRef& document, const std::string& name,
                                            const Variant& name_space) {
  DomNode& doc = dom_of(document);
  if (!doc.is_document()) automation::raise(RuntimeError::TypeMismatch);
  check_no_namespace(name_space);
  check_xml_name(name);
  if (doc.document_element()) {
    automation::raise(RuntimeError::InvalidProcedureCall, "the document has its element");
  }
  return doc.wrap(doc.node().append_child(name.c_str()));
}

ObjectRef XmlUtilityImpl::AppendChildElement(ObjectRef& parent, const std::string& name,
                                             const Variant& name_space) {
  DomNode& node = dom_of(parent);
  if (node.is_document()) return AppendRootElement(parent, name, name_space);
  if (node.node().type() != pugi::node_element) automation::raise(RuntimeError::TypeMismatch);
  check_no_namespace(name_space);
  check_xml_name(name);
  return node.wrap(node.node().append_child(name.c_str()));
}

ObjectRef XmlUtilityImpl::SetElementAttribute(ObjectRef& element, const std::string& name,
                                              const std::string& value) {
  pugi::xml_node node = element_of(element).node();
  check_xml_name(name);
  pugi::xml_attribute attribute = node.attribute(name.c_str());
  if (!attribute) attribute = node.append_attribute(name.c_str());
  const bool set = attribute && (first_unsafe(value) == std::string::npos
                                     ? attribute.set_value(value.data(), value.size())
                                     : attribute.set_value(xml_text(value).c_str()));
  if (!set) automation::raise(RuntimeError::OutOfMemory);
  return element;
}

std::string XmlUtilityImpl::DocumentText(ObjectRef& document) {
  DomNode& doc = dom_of(document);
  if (!doc.is_document()) automation::raise(RuntimeError::TypeMismatch);
  pugi::xml_node root = doc.document_element();
  return root ? markup_of(root, kPrologueRoom) : std::string();
}

}  // namespace tarvex::companions::dom
