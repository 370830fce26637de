// What registration writes under a classes root (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER's
// Software\Classes), value by value. The DLL's own registration and the installer's authored
// entries are both made from these lists, so the two cannot differ.
#pragma once

#include <string>
#include <vector>

#include "entry/windows/server_classes.h"

namespace tarvex::entry::windows {

enum class Platform { Win32, Win64 };

// Where the DLL is, as the writer spells it: paths (registration) or the installer's
// references to them. `folder` ends with a separator: the installer's folder references always
// do, so registration's do too.
struct Location {
  std::string dll;
  std::string folder;
  Platform platform;
};

// A value of `key`; an empty name is the key's default value. A key that only has to exist
// carries no value at all. The interfaces go into both views of a 64-bit system's registry, so
// that 32-bit callers marshal them too, as the platform's own type library registration does.
struct RegistryValue {
  std::string key;
  std::string name;
  std::string data;
  bool key_only = false;
  bool both_views = false;
};

// ProgID and CLSID keys; the plug-in's class also names its type library.
std::vector<RegistryValue> class_values(const ServerClass& server_class, const Location& where);
// The library's version key with its platform's path, and its interfaces.
std::vector<RegistryValue> type_library_values(const Location& where);

std::string clsid_key(const ServerClass& server_class);
std::string progid_key(const ServerClass& server_class);
std::string server_key(const ServerClass& server_class);  // the one that names the DLL
std::string type_library_key();                           // TypeLib\{LIBID}
std::string type_library_version_key();                   // ...\1.0
std::string type_library_path_key(Platform platform);     // ...\1.0\409\win64, naming the DLL
std::string interface_key(const Interface& described);

}  // namespace tarvex::entry::windows
