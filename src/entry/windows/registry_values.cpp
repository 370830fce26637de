// The registration's values, from the table of served classes.
#include "entry/windows/registry_values.h"

namespace tarvex::entry::windows {

namespace {

std::string join(std::string_view key, std::string_view subkey) {
  std::string path(key);
  path += '\\';
  path += subkey;
  return path;
}

}  // namespace

std::string clsid_key(const ServerClass& server_class) {
  return join("CLSID", server_class.clsid);
}

std::string progid_key(const ServerClass& server_class) {
  return std::string(server_class.progid);
}

std::string server_key(const ServerClass& server_class) {
  return join(clsid_key(server_class), "InprocServer32");
}

std::string type_library_key() {
  return join("TypeLib", kTypeLibrary.libid);
}

std::string type_library_version_key() {
  return join(type_library_key(), kTypeLibrary.version);
}

std::string type_library_path_key(Platform platform) {
  return join(join(type_library_version_key(), kTypeLibrary.lcid),
              platform == Platform::Win64 ? "win64" : "win32");
}

std::string interface_key(const Interface& described) {
  return join("Interface", described.iid);
}

std::vector<RegistryValue> class_values(const ServerClass& server_class, const Location& where) {
  const std::string clsid = clsid_key(server_class);
  const std::string progid = progid_key(server_class);
  // The class first, the ProgID that leads to it last: a registration cut short never leaves a
  // ProgID naming a class that is not there.
  std::vector<RegistryValue> values{
      {clsid, "", std::string(server_class.title)},
      {join(clsid, "ProgID"), "", progid},
      {server_key(server_class), "", where.dll},
      {server_key(server_class), "ThreadingModel", "Apartment"},
  };
  // The stand-ins are not in the type library; the plug-in's class is.
  if (!server_class.stand_in) {
    values.push_back({join(clsid, "TypeLib"), "", std::string(kTypeLibrary.libid)});
    values.push_back({join(clsid, "Version"), "", std::string(kTypeLibrary.version)});
    values.push_back({join(clsid, "Programmable"), "", "", true});
  }
  values.push_back({progid, "", std::string(server_class.title)});
  values.push_back({join(progid, "CLSID"), "", std::string(server_class.clsid)});
  return values;
}

std::vector<RegistryValue> type_library_values(const Location& where) {
  const std::string version = type_library_version_key();
  std::vector<RegistryValue> values{
      {version, "", std::string(kTypeLibrary.name)},
      {type_library_path_key(where.platform), "", where.dll},
      {join(version, "FLAGS"), "", std::string(kTypeLibrary.flags)},
      {join(version, "HELPDIR"), "", where.folder},
  };
  for (const Interface& described : kInterfaces) {
    const std::string key = interface_key(described);
    const std::string marshaler(kAutomationMarshaler);
    values.push_back({key, "", std::string(described.name), false, true});
    values.push_back({join(key, "ProxyStubClsid"), "", marshaler, false, true});
    values.push_back({join(key, "ProxyStubClsid32"), "", marshaler, false, true});
    values.push_back({join(key, "TypeLib"), "", std::string(kTypeLibrary.libid), false, true});
    values.push_back(
        {join(key, "TypeLib"), "Version", std::string(kTypeLibrary.version), false, true});
  }
  return values;
}

}  // namespace tarvex::entry::windows
