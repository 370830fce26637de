// GuidGenerator over the platform's GUIDs (random, version 4).
#include <objbase.h>

#include <cstdio>

#include "companions/utilities/guid_generator.h"
#include "companions/utilities/utility_error.h"

namespace tarvex::companions::utilities {

std::string GuidGeneratorImpl::NewGuidText() {
  GUID id;
  if (FAILED(CoCreateGuid(&id))) {
    raise_error("GuidGenerator", automation::RuntimeError::OutOfMemory, "no GUID could be made");
  }
  char text[39];
  std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1],
                id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
  return text;
}

}  // namespace tarvex::companions::utilities
