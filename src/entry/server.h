// The in-process server's entry points: register and unregister the plug-in's class, hand out
// its class factory, and say whether the component may be unloaded. Results are HRESULT-like.
#pragma once

#include <cstdint>
#include <string_view>

#include "automation/registry.h"

namespace tarvex::entry {

inline constexpr std::int32_t kS_OK = 0;
inline constexpr std::int32_t kS_FALSE = 1;
inline constexpr std::int32_t kClassNotAvailable = static_cast<std::int32_t>(0x80040111u);

// Registers "Tarvex_83.Implementation". Its factory runs Main once on each thread before the
// first object made on that thread.
std::int32_t DllRegisterServer();
std::int32_t DllUnregisterServer();
// The class factory for `progid`, or kClassNotAvailable when it is not this component's class.
std::int32_t DllGetClassObject(std::string_view progid, automation::ClassFactory& factory);
// Always S_FALSE: once loaded, the component stays.
std::int32_t DllCanUnloadNow();

}  // namespace tarvex::entry
