// Loading the connection document with pugixml and answering its three values.
#include "companions/store/connection_document.h"

#include <fmt/format.h>
#include <array>
#include <pugixml.hpp>

#include "automation/convert.h"
#include "companions/store/connection_text.h"
#include "companions/store/store_errors.h"

namespace tarvex::companions::store {

namespace {

using automation::Args;
using automation::CallKind;
using automation::Member;
using automation::Variant;

constexpr std::string_view kModule = "ConnectionDocument";
constexpr std::string_view kRoot = "macrocontainerconnection";

[[noreturn]] void refuse(std::string_view procedure, std::string description) {
  raise_store_error(StoreError::BadConnectionDocument, {kModule, procedure},
                    "The connection document " + description);
}

std::string trimmed(std::string s) {
  constexpr std::string_view kBlanks = " \t\r\n";
  std::size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string::npos) return {};
  std::size_t last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

// The element's text: its text and CDATA children joined (comments between them dropped),
// surrounding white space removed. Raises when the element is missing or its value is blank.
std::string element_value(pugi::xml_node root, const char* name) {
  pugi::xml_node element = root.child(name);
  if (!element) refuse("LoadDocument", fmt::format("lacks the element <{}>", name));
  std::string text;
  for (pugi::xml_node child : element.children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
      text += child.value();
    } else if (child.type() == pugi::node_element) {
      refuse("LoadDocument", fmt::format("element <{}> holds the element <{}>; it must hold "
                                         "text only",
                                         name, child.name()));
    }
  }
  text = trimmed(std::move(text));
  if (text.empty()) refuse("LoadDocument", fmt::format("element <{}> is empty", name));
  return text;
}

}  // namespace

void ConnectionDocumentImpl::LoadDocument(const std::string& text) {
  pugi::xml_document document;
  pugi::xml_parse_result parsed =
      document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) {
    refuse("LoadDocument", fmt::format("is not well-formed XML: {} at offset {}",
                                       parsed.description(), parsed.offset));
  }
  pugi::xml_node root = document.document_element();
  if (!root) refuse("LoadDocument", "has no root element; expected <macrocontainerconnection>");
  if (root.name() != kRoot) {
    refuse("LoadDocument", fmt::format("has root element <{}>; expected <{}>", root.name(), kRoot));
  }
  Loaded next;
  next.location = element_value(root, "location");
  next.container = element_value(root, "applicationcontainer");
  next.connection = element_value(root, "connection");
  loaded_ = std::move(next);
}

const ConnectionDocumentImpl::Loaded& ConnectionDocumentImpl::loaded(
    std::string_view procedure) const {
  if (!loaded_) refuse(procedure, "has not been loaded; call LoadDocument first");
  return *loaded_;
}

std::string ConnectionDocumentImpl::LocationName() {
  return loaded("LocationName").location;
}

std::string ConnectionDocumentImpl::ApplicationContainerName() {
  return loaded("ApplicationContainerName").container;
}

std::string ConnectionDocumentImpl::ConnectionString(bool flag) {
  const std::string& text = loaded("ConnectionString").connection;
  return flag ? mask_passwords(text) : text;
}

Variant ConnectionDocumentImpl::invoke(std::string_view member, CallKind kind, Args& args) {
  using Self = ConnectionDocumentImpl;
  static constexpr std::array<Member<Self>, 4> kMembers{{
      {"LoadDocument", CallKind::Method,
       [](Self& self, Args& a) -> Variant {
         a.expect(1);
         self.LoadDocument(automation::to_text(a[0]));
         return {};
       }},
      {"LocationName", CallKind::Get,
       [](Self& self, Args& a) -> Variant {
         a.expect(0);
         return self.LocationName();
       }},
      {"ApplicationContainerName", CallKind::Get,
       [](Self& self, Args& a) -> Variant {
         a.expect(0);
         return self.ApplicationContainerName();
       }},
      {"ConnectionString", CallKind::Get,
       [](Self& self, Args& a) -> Variant {
         a.expect(1);
         return self.ConnectionString(automation::to_boolean(a[0]));
       }},
  }};
  return dispatch(*this, member, kind, args, kMembers);
}

}  // namespace tarvex::companions::store
