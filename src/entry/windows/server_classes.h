// The classes this in-process server serves, the plug-in and the companion stand-ins it creates
// by ProgID, and the type library that describes the plug-in. The class factory hands the
// classes out; registration and the installer write them. No platform types here: the
// installer's sources are generated from this table on the build machine.
#pragma once

#include <array>
#include <string_view>

#include "automation/guard.h"
#include "companions/store/macro_helper.h"
#include "contracts/late_bound.h"

namespace tarvex::entry::windows {

struct ServerClass {
  std::string_view progid;
  std::string_view clsid;
  std::string_view title;
  // A stand-in for a component of the product, which registers its own: written only where the
  // ProgID names no other class.
  bool stand_in;
};

inline constexpr std::array<ServerClass, 3> kClasses{{
    {contracts::kImplementationProgId, "{3F6E2A41-8C1D-4B7A-9E25-610D4C837A10}",
     "Tarvex Implementation", false},
    {companions::store::kMacroHelperProgId, "{3F6E2A42-8C1D-4B7A-9E25-610D4C837A10}",
     "Macro store helper", true},
    {automation::kErrorLoggerProgId, "{3F6E2A43-8C1D-4B7A-9E25-610D4C837A10}", "Error logger",
     true},
}};

// The type library carried as the DLL's resource, and its interfaces that callers marshal
// through the platform's Automation marshaler.
struct TypeLibrary {
  std::string_view libid;
  std::string_view name;
  std::string_view version;
  std::string_view lcid;   // hexadecimal, as the registry's key spells it
  std::string_view flags;  // as the platform writes them: 8, a library read from a file
};
inline constexpr TypeLibrary kTypeLibrary{"{3F6E2A44-8C1D-4B7A-9E25-610D4C837A10}", "Tarvex_83",
                                          "1.0", "409", "8"};

struct Interface {
  std::string_view iid;
  std::string_view name;
};
inline constexpr std::array<Interface, 2> kInterfaces{{
    {"{3F6E2A46-8C1D-4B7A-9E25-610D4C837A10}", "_Collection"},
    {"{3F6E2A45-8C1D-4B7A-9E25-610D4C837A10}", "_Implementation"},
}};
inline constexpr std::string_view kAutomationMarshaler = "{00020424-0000-0000-C000-000000000046}";

}  // namespace tarvex::entry::windows
