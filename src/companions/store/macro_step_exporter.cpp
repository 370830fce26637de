// Exporting macro steps as one XML file a step, in one folder a macro.
#include "companions/store/macro_step_exporter.h"

#include <fmt/format.h>
#include <filesystem>
#include <pugixml.hpp>
#include <sstream>
#include <unordered_set>

#include "automation/convert.h"
#include "companions/dom/xml_text.h"
#include "companions/store/export_names.h"
#include "companions/store/file_output.h"
#include "contracts/macro_store_columns.h"

namespace tarvex::companions::store {

namespace {

using automation::Variant;
using contracts::column_index;
using contracts::MacroColumn;
using contracts::ParameterColumn;
using contracts::StepColumn;
namespace fs = std::filesystem;

constexpr Where kWhere{"MacroStepExporter", "ExportMacroSteps"};

std::string text_of(const Variant& value) {
  if (value.is_array() || value.is_object()) return {};
  return automation::to_text(value, automation::NullAs::EmptyText);
}

// An element holding the value as text; a Null value gives an empty element marked null="true".
void append_value(pugi::xml_node parent, const char* name, const Variant& value) {
  pugi::xml_node element = parent.append_child(name);
  if (value.is_null()) {
    element.append_attribute("null") = "true";
    return;
  }
  std::string text = dom::xml_text(text_of(value));
  element.text().set(text.c_str());
}

// The rows of a (column, row) table, or none for the empty value.
std::int32_t row_count(const Variant& table) {
  return table.is_array() ? static_cast<std::int32_t>(table.as_array().bounds(2).count()) : 0;
}

std::string step_file_stem(const Variant& position, const Variant& heading) {
  std::string number = position.kind() == automation::Kind::Long
                           ? fmt::format("{:03}", position.as_long())
                           : text_of(position);
  std::string title = heading.is_null() ? std::string("Untitled step") : text_of(heading);
  return safe_name(fmt::format("{} {}", number, title), "Step");
}

void make_folder(const fs::path& path) {
  std::error_code ec;
  fs::create_directories(path, ec);
  if (ec || !fs::is_directory(path)) {
    raise_store_error(StoreError::ExportFailed, kWhere,
                      fmt::format("Cannot create the folder '{}': {}", path.string(),
                                  ec ? ec.message() : "a file of that name is in the way"));
  }
}

}  // namespace

std::string macro_step_xml(const Variant& guid, const Variant& macro_guid, const Variant& position,
                           const Variant& heading, const Variant& method_name,
                           const Variant& parameters) {
  pugi::xml_document document;
  pugi::xml_node declaration = document.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "UTF-8";
  pugi::xml_node step = document.append_child("macrostep");
  append_value(step, "guid", guid);
  append_value(step, "macroguid", macro_guid);
  append_value(step, "position", position);
  append_value(step, "heading", heading);
  append_value(step, "methodname", method_name);
  pugi::xml_node list = step.append_child("parameters");
  for (std::int32_t r = 0; r < row_count(parameters); ++r) {
    pugi::xml_node parameter = list.append_child("parameter");
    const automation::Array& row = parameters.as_array();
    append_value(parameter, "name", row.at(column_index(ParameterColumn::Name), r));
    append_value(parameter, "value", row.at(column_index(ParameterColumn::Value), r));
  }
  std::ostringstream out;
  document.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
  return out.str();
}

void MacroStepExporterImpl::ExportMacroSteps(const automation::ObjectRef& document,
                                             const std::string& folder,
                                             const automation::ObjectRef&) {
  auto doc = automation::object_as<contracts::ConnectionDocument>(document);
  std::string container = doc->ApplicationContainerName();
  auto store = open_macro_store(ConnectionText::parse(doc->ConnectionString(false), kWhere),
                                options_, kWhere);
  fs::path root(folder);
  make_folder(root);

  Variant macros = store->read_macros(container);
  UniqueNames folders;
  std::unordered_set<std::string> exported;  // a GUID that the store repeats is exported once
  for (std::int32_t m = 0; m < row_count(macros); ++m) {
    const Variant& macro_guid = macros.as_array().at(column_index(MacroColumn::Guid), m);
    std::string guid_text = text_of(macro_guid);
    if (!exported.insert(guid_text).second) continue;
    const Variant& name = macros.as_array().at(column_index(MacroColumn::Name), m);
    std::string folder_name = folders.claim(safe_name(text_of(name), "Unnamed macro"), guid_text);
    fs::path macro_folder = root / folder_name;
    make_folder(macro_folder);

    Variant steps = store->read_steps(container, macro_guid);
    UniqueNames files;
    for (std::int32_t s = 0; s < row_count(steps); ++s) {
      const automation::Array& row = steps.as_array();
      auto cell = [&](StepColumn c) -> const Variant& { return row.at(column_index(c), s); };
      const Variant& step_guid = cell(StepColumn::Guid);
      const Variant& position = cell(StepColumn::Position);
      const Variant& heading = cell(StepColumn::Heading);
      std::string file_name =
          files.claim(step_file_stem(position, heading), text_of(step_guid)) + ".xml";
      std::string xml =
          macro_step_xml(step_guid, cell(StepColumn::MacroGuid), position, heading,
                         cell(StepColumn::MethodName), store->read_parameters(step_guid));
      write_file_replacing((macro_folder / file_name).string(), xml, StoreError::ExportFailed,
                           kWhere);
    }
  }
}

}  // namespace tarvex::companions::store
