// The in-process server's entry points for the platform's component object model: the
// plug-in and the companion classes it creates by ProgID, each a registered class whose objects
// are called through IDispatch. Objects live in the apartment of the thread that made them.
// Registration is in registration.cpp.
#include <windows.h>

#include <mutex>
#include <string>

#include "automation/com/com.h"
#include "automation/com/unknown.h"
#include "automation/guard.h"
#include "automation/registry.h"
#include "companions/registration.h"
#include "entry/server.h"
#include "entry/windows/com_server.h"
#include "entry/windows/server_classes.h"

namespace {

namespace automation = tarvex::automation;
namespace com = tarvex::automation::com;
using tarvex::entry::windows::kClasses;
using tarvex::entry::windows::ServerClass;

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

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (const ServerClass& c : kClasses) {
    CLSID served{};
    if (FAILED(IIDFromString(com::wide(c.clsid).c_str(), &served)) ||
        !IsEqualCLSID(clsid, served)) {
      continue;
    }
    return com::boundary([&] { return com::make<ClassFactory>(c)->QueryInterface(iid, out); });
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

// Per-thread state lives as long as the process: once loaded, the component stays.
STDAPI DllCanUnloadNow() {
  return S_FALSE;
}
