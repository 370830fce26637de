// XmlUtility over the platform's document object model.
#include "companions/windows/dom/xml_utility.h"

#include <cstdint>
#include <vector>

#include "automation/convert.h"
#include "automation/error.h"
#include "companions/dom/xml_text.h"

namespace tarvex::companions::windows {

using automation::call;
using automation::get;
using automation::ObjectRef;
using automation::RuntimeError;
using automation::Variant;

namespace {

// nodeType values of the document object model.
constexpr std::int32_t kElement = 1;
constexpr std::int32_t kText = 3;
constexpr std::int32_t kCData = 4;
constexpr std::int32_t kComment = 8;
constexpr std::int32_t kDocument = 9;

void check_no_namespace(const Variant& name_space) {
  if (name_space.is_empty()) return;
  if (name_space.kind() == automation::Kind::String && name_space.as_string().empty()) return;
  automation::raise(RuntimeError::InvalidProcedureCall, "elements take no namespace");
}

std::int32_t type_of(const ObjectRef& node) {
  return automation::to_long(get(node, "nodeType"));
}

ObjectRef node_or_null(const Variant& value) {
  return value.is_object() ? value.as_object() : ObjectRef();
}

void put_text(contracts::TextSink& out, const Variant& value, const dom::EscapeTable& escapes) {
  dom::put_escaped(out, dom::xml_text(automation::to_text(value)), escapes);
}

std::vector<ObjectRef> children_of(const ObjectRef& node) {
  std::vector<ObjectRef> out;
  for (ObjectRef child = node_or_null(get(node, "firstChild")); child;
       child = node_or_null(get(child, "nextSibling"))) {
    out.push_back(child);
  }
  return out;
}

void put_start_tag(contracts::TextSink& out, const ObjectRef& element) {
  out.put('<');
  out.put(automation::to_text(get(element, "nodeName")));
  const Variant attributes = get(element, "attributes");
  const std::int32_t count = automation::to_long(get(attributes, "length"));
  for (std::int32_t i = 0; i < count; ++i) {
    const Variant attribute = call(attributes, "item", i);
    out.put(' ');
    out.put(automation::to_text(get(attribute, "nodeName")));
    out.put("=\"");
    put_text(out, get(attribute, "nodeValue"), dom::kXmlEscapes.attribute);
    out.put('"');
  }
  out.put('>');
}

void put_end_tag(contracts::TextSink& out, const ObjectRef& element) {
  out.put("</");
  out.put(automation::to_text(get(element, "nodeName")));
  out.put('>');
}

void put_inline(contracts::TextSink& out, const ObjectRef& node) {
  switch (type_of(node)) {
    case kElement:
      put_start_tag(out, node);
      for (const ObjectRef& child : children_of(node)) put_inline(out, child);
      put_end_tag(out, node);
      break;
    case kText:
    case kCData:
      put_text(out, get(node, "nodeValue"), dom::kXmlEscapes.content);
      break;
    case kComment:
      // A comment may hold no "--" and may not end in "-".
      out.put("<!--");
      out.put(dom::xml_comment_text(automation::to_text(get(node, "nodeValue"))));
      out.put("-->");
      break;
    default:
      break;
  }
}

void put_laid_out(contracts::TextSink& out, const ObjectRef& node, std::size_t depth) {
  std::vector<ObjectRef> children;
  bool all_elements = false;
  if (type_of(node) == kElement) {
    children = children_of(node);
    all_elements = !children.empty();
    for (const ObjectRef& child : children)
      all_elements = all_elements && type_of(child) == kElement;
  }
  if (!all_elements) {
    put_inline(out, node);
    return;
  }
  put_start_tag(out, node);
  for (const ObjectRef& child : children) {
    out.put('\n');
    out.fill(' ', (depth + 1) * 2);
    put_laid_out(out, child, depth + 1);
  }
  out.put('\n');
  out.fill(' ', depth * 2);
  put_end_tag(out, node);
}

ObjectRef new_element(const ObjectRef& document, const std::string& name) {
  return automation::object_of(call(document, "createElement", name));
}

}  // namespace

ObjectRef XmlUtilityImpl::AppendRootElement(ObjectRef& document, const std::string& name,
                                            const Variant& name_space) {
  if (type_of(document) != kDocument) automation::raise(RuntimeError::TypeMismatch);
  check_no_namespace(name_space);
  if (node_or_null(get(document, "documentElement"))) {
    automation::raise(RuntimeError::InvalidProcedureCall, "the document has its element");
  }
  ObjectRef element = new_element(document, name);
  call(document, "appendChild", element);
  return element;
}

ObjectRef XmlUtilityImpl::AppendChildElement(ObjectRef& parent, const std::string& name,
                                             const Variant& name_space) {
  const std::int32_t type = type_of(parent);
  if (type == kDocument) return AppendRootElement(parent, name, name_space);
  if (type != kElement) automation::raise(RuntimeError::TypeMismatch);
  check_no_namespace(name_space);
  ObjectRef element = new_element(automation::object_of(get(parent, "ownerDocument")), name);
  call(parent, "appendChild", element);
  return element;
}

ObjectRef XmlUtilityImpl::SetElementAttribute(ObjectRef& element, const std::string& name,
                                              const std::string& value) {
  if (type_of(element) != kElement) automation::raise(RuntimeError::TypeMismatch);
  call(element, "setAttribute", name, value);
  return element;
}

std::string XmlUtilityImpl::DocumentText(ObjectRef& document) {
  contracts::StringSink sink;
  WriteDocumentText(document, sink);
  return std::move(sink).take();
}

void XmlUtilityImpl::WriteDocumentText(ObjectRef& document, contracts::TextSink& sink) {
  if (type_of(document) != kDocument) automation::raise(RuntimeError::TypeMismatch);
  ObjectRef root = node_or_null(get(document, "documentElement"));
  if (root) put_laid_out(sink, root, 0);
}

}  // namespace tarvex::companions::windows
