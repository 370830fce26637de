// The classes this in-process server serves: the plug-in and the companion stand-ins it creates
// by ProgID. The class factory hands them out; registration writes them.
#pragma once

#include <windows.h>

#include <array>
#include <string_view>

#include "automation/guard.h"
#include "companions/store/macro_helper.h"
#include "contracts/late_bound.h"

namespace tarvex::entry::windows {

struct ServerClass {
  std::string_view progid;
  CLSID clsid;
  const wchar_t* clsid_text;
  const wchar_t* title;
};

inline const std::array<ServerClass, 3> kClasses{{
    {contracts::kImplementationProgId,
     {0x3f6e2a41, 0x8c1d, 0x4b7a, {0x9e, 0x25, 0x61, 0x0d, 0x4c, 0x83, 0x7a, 0x10}},
     L"{3F6E2A41-8C1D-4B7A-9E25-610D4C837A10}",
     L"Tarvex Implementation"},
    {companions::store::kMacroHelperProgId,
     {0x3f6e2a42, 0x8c1d, 0x4b7a, {0x9e, 0x25, 0x61, 0x0d, 0x4c, 0x83, 0x7a, 0x10}},
     L"{3F6E2A42-8C1D-4B7A-9E25-610D4C837A10}",
     L"Macro store helper"},
    {automation::kErrorLoggerProgId,
     {0x3f6e2a43, 0x8c1d, 0x4b7a, {0x9e, 0x25, 0x61, 0x0d, 0x4c, 0x83, 0x7a, 0x10}},
     L"{3F6E2A43-8C1D-4B7A-9E25-610D4C837A10}",
     L"Error logger"},
}};

}  // namespace tarvex::entry::windows
