// Registers the type library that a DLL carries the way the platform does (RegisterTypeLib), so
// that scripts/windows-install can hold Tarvex's own registration against it. Exit status 3: the
// DLL carries no type library.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: register_type_library DLL\n", stderr);
    return 2;
  }
  ITypeLib* library = nullptr;
  if (FAILED(LoadTypeLibEx(argv[1], REGKIND_NONE, &library))) return 3;
  const HRESULT result = RegisterTypeLib(library, argv[1], nullptr);
  library->Release();
  return SUCCEEDED(result) ? 0 : 1;
}
