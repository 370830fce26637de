// The plug-in's own COM object: Implementation behind the dual interface that the type library
// describes.
#pragma once

#include <windows.h>

#include <memory>

#include "automation/com/handles.h"
#include "entry/implementation.h"

namespace tarvex::entry::windows {

automation::com::com_ptr<IDispatch> implementation_object(std::shared_ptr<Implementation> plugin);

}  // namespace tarvex::entry::windows
