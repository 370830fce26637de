// The plug-in's own COM objects: Implementation behind its dual interface, and the type library
// that describes it, registered with the class.
#pragma once

#include <windows.h>

#include <memory>

#include "automation/com/handles.h"
#include "entry/implementation.h"

namespace tarvex::entry::windows {

automation::com::com_ptr<IDispatch> implementation_object(std::shared_ptr<Implementation> plugin);

HRESULT register_type_library();
void unregister_type_library();

}  // namespace tarvex::entry::windows
