// Registration of the type library that the DLL carries: its TypeLib key, and the Interface keys
// that let the platform marshal its dual interfaces between apartments.
#include <initguid.h>  // defines LIBID_Tarvex_83 here

#include <Tarvex_83.h>

#include "automation/com/com.h"
#include "entry/windows/com_server.h"

namespace tarvex::entry::windows {

namespace com = automation::com;

HRESULT register_type_library() {
  std::wstring path = com::module_path(com::code_module());
  com::com_ptr<ITypeLib> library;
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
  if (SUCCEEDED(hr)) hr = RegisterTypeLib(library.get(), path.data(), nullptr);
  return hr;
}

void unregister_type_library() {
  UnRegisterTypeLib(LIBID_Tarvex_83, 1, 0, 0x409, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
}

}  // namespace tarvex::entry::windows
