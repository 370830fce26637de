// The in-process server's four entry points for the platform's component object model: the
// plug-in and the companion classes it creates by ProgID, each a registered class whose objects
// are called through IDispatch. Objects live in the apartment of the thread that made them.
#include <olectl.h>
#include <windows.h>

#include <array>
#include <mutex>
#include <string>

#include "automation/com/com.h"
#include "automation/com/unknown.h"
#include "automation/guard.h"
#include "automation/registry.h"
#include "companions/registration.h"
#include "companions/store/macro_helper.h"
#include "contracts/late_bound.h"
#include "entry/server.h"
#include "entry/windows/com_server.h"

namespace {

namespace automation = tarvex::automation;
namespace com = tarvex::automation::com;

HMODULE this_module = nullptr;

struct ServerClass {
  std::string_view progid;
  CLSID clsid;
  const wchar_t* clsid_text;
  const wchar_t* title;
};

const std::array<ServerClass, 3> kClasses{{
    {tarvex::contracts::kImplementationProgId,
     {0x3f6e2a41, 0x8c1d, 0x4b7a, {0x9e, 0x25, 0x61, 0x0d, 0x4c, 0x83, 0x7a, 0x10}},
     L"{3F6E2A41-8C1D-4B7A-9E25-610D4C837A10}",
     L"Tarvex Implementation"},
    {tarvex::companions::store::kMacroHelperProgId,
     {0x3f6e2a42, 0x8c1d, 0x4b7a, {0x9e, 0x25, 0x61, 0x0d, 0x4c, 0x83, 0x7a, 0x10}},
     L"{3F6E2A42-8C1D-4B7A-9E25-610D4C837A10}",
     L"Macro store helper"},
    {automation::kErrorLoggerProgId,
     {0x3f6e2a43, 0x8c1d, 0x4b7a, {0x9e, 0x25, 0x61, 0x0d, 0x4c, 0x83, 0x7a, 0x10}},
     L"{3F6E2A43-8C1D-4B7A-9E25-610D4C837A10}",
     L"Error logger"},
}};

// The component's tables, once per process; objects it creates by ProgID come through the
// platform again, so even its own companions are reached through IDispatch.
void start() {
  static std::once_flag once;
  std::call_once(once, [] {
    tarvex::companions::register_companions();
    tarvex::entry::DllRegisterServer();
    automation::set_object_creator(com::create_by_progid);
  });
}

// Implementation is described by the type library; the companions answer by name.
com::com_ptr<IDispatch> server_object(const automation::ObjectRef& object) {
  if (auto plugin = std::dynamic_pointer_cast<tarvex::entry::Implementation>(object)) {
    return tarvex::entry::windows::implementation_object(std::move(plugin));
  }
  return com::to_dispatch(object);
}

class ClassFactory final : public com::Unknown<IClassFactory> {
 public:
  explicit ClassFactory(const ServerClass& server_class) : class_(server_class) {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    // Start-up's error, whole, for the creator to raise.
    return com::boundary([&] {
      start();
      return server_object(automation::create_registered_object(class_.progid))
          ->QueryInterface(iid, out);
    });
  }
  // The component never unloads (DllCanUnloadNow), so there is nothing to count.
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  const ServerClass& class_;
};

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

std::wstring module_path() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(this_module, path.data(), static_cast<DWORD>(path.size()));
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

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    this_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (const ServerClass& c : kClasses) {
    if (!IsEqualCLSID(clsid, c.clsid)) continue;
    return com::boundary([&] { return com::make<ClassFactory>(c)->QueryInterface(iid, out); });
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

// Per-thread state lives as long as the process: once loaded, the component stays.
STDAPI DllCanUnloadNow() {
  return S_FALSE;
}

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
  if (FAILED(tarvex::entry::windows::register_type_library())) return SELFREG_E_TYPELIB;
  return S_OK;
}

STDAPI DllUnregisterServer() {
  for (const ServerClass& c : kClasses) remove_keys(c);
  tarvex::entry::windows::unregister_type_library();
  return S_OK;
}
