// The in-process server's four entry points for the platform's component object model: the
// plug-in and the companion classes it creates by ProgID, each a registered class whose objects
// are called through IDispatch. Objects live in the apartment of the thread that made them.
#include <olectl.h>
#include <windows.h>

#include <array>
#include <atomic>
#include <mutex>
#include <string>

#include "automation/com/com.h"
#include "automation/guard.h"
#include "automation/registry.h"
#include "companions/registration.h"
#include "companions/store/macro_helper.h"
#include "contracts/late_bound.h"
#include "entry/server.h"

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

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(const ServerClass& server_class) : class_(server_class) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      AddRef();
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      start();
      IDispatch* dispatch = com::to_dispatch(automation::create_registered_object(class_.progid));
      const HRESULT hr = dispatch->QueryInterface(iid, out);
      dispatch->Release();
      return hr;
    } catch (...) {
      // Start-up's error, whole, for the creator to raise.
      return com::set_error_info(automation::error_from_current_exception());
    }
  }
  // The component never unloads (DllCanUnloadNow), so there is nothing to count.
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  ~ClassFactory() = default;
  std::atomic<ULONG> references_{1};
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
    auto* factory = new (std::nothrow) ClassFactory(c);
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(iid, out);
    factory->Release();
    return hr;
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
  return S_OK;
}

STDAPI DllUnregisterServer() {
  for (const ServerClass& c : kClasses) remove_keys(c);
  return S_OK;
}
