// Writes the installer's registry entries from the registration's own table (run on the build
// machine by scripts/windows-msi), so that Tarvex.msi and regsvr32 register the same keys:
//
//   CLASS.wxi       the RegistryValue elements of each served class's component (the plug-in's
//                   with its type library); a stand-in's key path is its ProgID's CLSID
//   other-view.wxi  x64 only: the interfaces again, for a 32-bit component, which writes the
//                   registry's 32-bit view (an x86 package has no way to the 64-bit one)
//   searches.wxi    one property a stand-in: the CLSID that its ProgID names before installing
//   conditions.sql  the stand-ins' component conditions, for msibuild (wixl has none): install
//                   where the ProgID names no class or names ours (~= ignores case)
//
// Usage: wix_registry x64|x86 FOLDER
#include <fstream>
#include <iostream>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "entry/windows/registry_values.h"
#include "entry/windows/server_classes.h"

namespace {

using namespace tarvex::entry::windows;

// How Tarvex.wxs names the DLL's file and its folder.
constexpr std::string_view kDllReference = "[#Tarvex_83.dll]";
constexpr std::string_view kFolderReference = "[INSTALLFOLDER]";

std::string property_of(const ServerClass& server_class) {
  std::string name = "REGISTERED_";
  for (char c : server_class.progid) {
    name += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c == '.' ? '_' : c;
  }
  return name;
}

bool save(const pugi::xml_document& document, const std::string& path) {
  if (document.save_file(path.c_str(), "  ")) return true;
  std::cerr << "wix_registry: cannot write " << path << '\n';
  return false;
}

// One include file of RegistryValue elements; `key_path` names the value that keeps the
// component installed, if a value does.
bool write_values(const std::string& path, const std::vector<RegistryValue>& values,
                  const std::string& key_path) {
  pugi::xml_document document;
  pugi::xml_node include = document.append_child("Include");
  for (const RegistryValue& value : values) {
    pugi::xml_node element = include.append_child("RegistryValue");
    element.append_attribute("Root") = "HKCR";
    element.append_attribute("Key") = value.key.c_str();
    element.append_attribute("Type") = "string";
    // A key alone, created on install and removed on removal, has the name "*" and no value.
    const std::string name = value.key_only ? "*" : value.name;
    if (!name.empty()) element.append_attribute("Name") = name.c_str();
    element.append_attribute("Value") = value.data.c_str();
    if (value.key == key_path && value.name.empty()) element.append_attribute("KeyPath") = "yes";
  }
  return save(document, path);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view platform = argc == 3 ? argv[1] : "";
  if (platform != "x64" && platform != "x86") {
    std::cerr << "usage: wix_registry x64|x86 FOLDER\n";
    return 2;
  }
  const std::string folder = argv[2];
  const Location where{std::string(kDllReference), std::string(kFolderReference),
                       platform == "x64" ? Platform::Win64 : Platform::Win32};
  pugi::xml_document searches;
  pugi::xml_node properties = searches.append_child("Include");
  std::ofstream conditions(folder + "/conditions.sql");
  bool ok = true;
  for (const ServerClass& server_class : kClasses) {
    std::vector<RegistryValue> values = class_values(server_class, where);
    if (!server_class.stand_in) {
      for (RegistryValue& value : type_library_values(where)) values.push_back(value);
    }
    // The plug-in's component is kept by its file; a stand-in's by the value that makes it one.
    const std::string progid_clsid = progid_key(server_class) + "\\CLSID";
    ok &= write_values(folder + "/" + std::string(server_class.progid) + ".wxi", values,
                       server_class.stand_in ? progid_clsid : "");
    if (!server_class.stand_in) continue;
    const std::string property = property_of(server_class);
    pugi::xml_node search = properties.append_child("Property");
    search.append_attribute("Id") = property.c_str();
    search = search.append_child("RegistrySearch");
    search.append_attribute("Id") = property.c_str();
    search.append_attribute("Root") = "HKCR";
    search.append_attribute("Key") = progid_clsid.c_str();
    search.append_attribute("Name") = "";  // the default value
    search.append_attribute("Type") = "raw";
    conditions << "UPDATE `Component` SET `Condition` = 'NOT " << property << " OR " << property
               << " ~= \"" << server_class.clsid << "\"' WHERE `Component` = '"
               << server_class.progid << "'\n";
  }
  ok &= save(searches, folder + "/searches.wxi");
  conditions.close();
  if (!conditions) {
    std::cerr << "wix_registry: cannot write " << folder << "/conditions.sql\n";
    ok = false;
  }
  if (where.platform == Platform::Win64) {
    std::vector<RegistryValue> both;
    for (RegistryValue& value : type_library_values(where)) {
      if (value.both_views) both.push_back(value);
    }
    ok &= write_values(folder + "/other-view.wxi", both, interface_key(kInterfaces.front()));
  }
  return ok ? 0 : 1;
}
