// Registration of the in-process server's classes with the platform.
#include <olectl.h>
#include <windows.h>

#include <string>

#include "automation/com/com.h"
#include "entry/windows/server_classes.h"

namespace {

namespace com = tarvex::automation::com;
using tarvex::entry::windows::kClasses;
using tarvex::entry::windows::ServerClass;

bool set_value(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE, nullptr, &handle, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  const LONG result =
      RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
  RegCloseKey(handle);
  return result == ERROR_SUCCESS;
}

// The DLL this code is in, found by one of its own addresses.
std::wstring module_path() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&module_path), &module)) {
    return {};
  }
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void remove_keys(const ServerClass& c) {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, com::wide(c.progid).c_str());
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + c.clsid_text).c_str());
}

}  // namespace

STDAPI DllRegisterServer() {
  const std::wstring path = module_path();
  if (path.empty()) return SELFREG_E_CLASS;
  for (const ServerClass& c : kClasses) {
    const std::wstring progid = com::wide(c.progid);
    const std::wstring clsid_key = std::wstring(L"CLSID\\") + c.clsid_text;
    const bool written =
        set_value(progid, nullptr, c.title) &&
        set_value(progid + L"\\CLSID", nullptr, c.clsid_text) &&
        set_value(clsid_key, nullptr, c.title) &&
        set_value(clsid_key + L"\\ProgID", nullptr, progid) &&
        set_value(clsid_key + L"\\InprocServer32", nullptr, path) &&
        set_value(clsid_key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    if (!written) {
      for (const ServerClass& undo : kClasses) remove_keys(undo);
      return SELFREG_E_CLASS;
    }
  }
  return S_OK;
}

STDAPI DllUnregisterServer() {
  for (const ServerClass& c : kClasses) remove_keys(c);
  return S_OK;
}
