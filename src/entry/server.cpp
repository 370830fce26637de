// The in-process server's entry points over the automation layer's class registry.
#include "entry/server.h"

#include <memory>

#include "automation/text.h"
#include "contracts/late_bound.h"
#include "entry/bas_main.h"
#include "entry/implementation.h"

namespace tarvex::entry {

namespace {

automation::ObjectRef CreateImplementation() {
  // Start-up runs once per thread; should it fail, the next creation tries again.
  thread_local bool started = false;
  if (!started) {
    Main();
    started = true;
  }
  return std::make_shared<Implementation>();
}

}  // namespace

std::int32_t DllRegisterServer() {
  automation::register_progid(contracts::kImplementationProgId, CreateImplementation);
  return kS_OK;
}

std::int32_t DllUnregisterServer() {
  automation::unregister_progid(contracts::kImplementationProgId);
  return kS_OK;
}

std::int32_t DllGetClassObject(std::string_view progid, automation::ClassFactory& factory) {
  if (!automation::ascii_iequals(progid, contracts::kImplementationProgId))
    return kClassNotAvailable;
  factory = CreateImplementation;
  return kS_OK;
}

std::int32_t DllCanUnloadNow() {
  return kS_FALSE;
}

}  // namespace tarvex::entry
