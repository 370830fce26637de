// Registration with the platform, for the machine (DllRegisterServer) or, through DllInstall
// with "user", for the current user alone. The plug-in's class and type library are always
// written; a companion stand-in only where the product has not registered the ProgID itself.
// Unregistering removes only keys that name this DLL, so another copy's registration and the
// product's own components survive it.
#include <olectl.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "automation/com/com.h"
#include "entry/windows/registry_values.h"
#include "entry/windows/server_classes.h"

namespace {

namespace com = tarvex::automation::com;
using namespace tarvex::entry::windows;

constexpr Platform kPlatform = sizeof(void*) == 8 ? Platform::Win64 : Platform::Win32;
// The other half of a 64-bit system's registry (on a 32-bit system the same keys again).
constexpr REGSAM kOtherView = kPlatform == Platform::Win64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

enum class Scope { Machine, User };

class Key {
 public:
  explicit Key(HKEY handle) : handle_(handle) {}
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() { RegCloseKey(handle_); }

 private:
  HKEY handle_;
};

// A classes root: the machine's, the current user's, or both merged as creation by ProgID sees
// them. Keys are reached by their whole path from the predefined key, so that a view flag
// redirects them as it does the platform's own registration.
struct Classes {
  HKEY hive;
  std::wstring prefix;
  std::wstring path(const std::string& key) const { return prefix + com::wide(key); }
};

const Classes kMerged{HKEY_CLASSES_ROOT, L""};

Classes classes_of(Scope scope) {
  return {scope == Scope::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, L"Software\\Classes\\"};
}

bool equal_ignoring_case(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::optional<std::wstring> default_value(const Classes& root, const std::string& key) {
  const std::wstring path = root.path(key);
  DWORD bytes = 0;
  if (RegGetValueW(root.hive, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (RegGetValueW(root.hive, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value.data(),
                   &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.resize(wcsnlen(value.c_str(), value.size()));
  return value;
}

bool names(const Classes& root, const std::string& key, std::string_view expected) {
  const std::optional<std::wstring> value = default_value(root, key);
  return value && equal_ignoring_case(*value, com::wide(expected));
}

bool key_exists(const Classes& root, const std::string& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(root.hive, root.path(key).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(handle);
  return true;
}

void delete_tree(const Classes& root, const std::string& key, REGSAM view = 0) {
  const std::wstring path = root.path(key);
  HKEY handle = nullptr;
  if (RegOpenKeyExW(root.hive, path.c_str(), 0, KEY_ALL_ACCESS | view, &handle) != ERROR_SUCCESS) {
    return;
  }
  RegDeleteTreeW(handle, nullptr);
  RegCloseKey(handle);
  RegDeleteKeyExW(root.hive, path.c_str(), view, 0);
}

bool write(const Classes& root, const RegistryValue& value, REGSAM view) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(root.hive, root.path(value.key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE | view, nullptr, &handle, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const Key key(handle);
  if (value.key_only) return true;
  const std::wstring name = com::wide(value.name);
  const std::wstring data = com::wide(value.data);
  return RegSetValueExW(handle, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// A stand-in goes where its ProgID names no class yet, for this user or the machine, or names
// ours (an earlier registration of Tarvex).
bool stand_in_wanted(const ServerClass& server_class) {
  const std::optional<std::wstring> clsid =
      default_value(kMerged, progid_key(server_class) + "\\CLSID");
  return !clsid || equal_ignoring_case(*clsid, com::wide(server_class.clsid));
}

Location location_of(const std::wstring& dll) {
  const std::string path = com::utf8(dll.data(), dll.size());
  return {path, path.substr(0, path.find_last_of('\\') + 1), kPlatform};
}

void remove(const Classes& root, const Location& where) {
  for (const ServerClass& server_class : kClasses) {
    if (!names(root, server_key(server_class), where.dll)) continue;
    delete_tree(root, clsid_key(server_class));
    if (names(root, progid_key(server_class) + "\\CLSID", server_class.clsid)) {
      delete_tree(root, progid_key(server_class));
    }
  }
  if (!names(root, type_library_path_key(where.platform), where.dll)) return;
  delete_tree(root, type_library_path_key(where.platform));
  // The other platform's build may be registered too: the library stays until neither is.
  const Platform other = where.platform == Platform::Win64 ? Platform::Win32 : Platform::Win64;
  if (key_exists(root, type_library_path_key(other))) return;
  delete_tree(root, type_library_version_key());
  RegDeleteKeyW(root.hive, root.path(type_library_key()).c_str());  // only when no other version is
  for (const Interface& described : kInterfaces) {
    if (names(root, interface_key(described) + "\\TypeLib", kTypeLibrary.libid)) {
      delete_tree(root, interface_key(described));
      delete_tree(root, interface_key(described), kOtherView);
    }
  }
}

HRESULT register_server(Scope scope) {
  const std::wstring dll = com::module_path(com::code_module());
  if (dll.empty()) return SELFREG_E_CLASS;
  const Classes root = classes_of(scope);
  const Location where = location_of(dll);
  std::vector<RegistryValue> values = type_library_values(where);
  for (const ServerClass& server_class : kClasses) {
    if (server_class.stand_in && !stand_in_wanted(server_class)) continue;
    for (RegistryValue& value : class_values(server_class, where)) values.push_back(value);
  }
  for (const RegistryValue& value : values) {
    if (!write(root, value, 0) || (value.both_views && !write(root, value, kOtherView))) {
      remove(root, where);
      return SELFREG_E_CLASS;
    }
  }
  return S_OK;
}

HRESULT unregister_server(Scope scope) {
  const std::wstring dll = com::module_path(com::code_module());
  if (dll.empty()) return SELFREG_E_CLASS;
  remove(classes_of(scope), location_of(dll));
  return S_OK;
}

}  // namespace

STDAPI DllRegisterServer() {
  return register_server(Scope::Machine);
}

STDAPI DllUnregisterServer() {
  return unregister_server(Scope::Machine);
}

// regsvr32 /n /i:user registers for the current user only (no administrator rights needed);
// regsvr32 /u /n /i:user removes that again. No command line: the machine, as above.
STDAPI DllInstall(BOOL install, LPCWSTR command_line) {
  Scope scope = Scope::Machine;
  if (command_line && *command_line) {
    if (CompareStringOrdinal(command_line, -1, L"user", -1, TRUE) != CSTR_EQUAL) {
      return E_INVALIDARG;
    }
    scope = Scope::User;
  }
  return install ? register_server(scope) : unregister_server(scope);
}
