// ObjectFactory: ProgID templates to objects.
#include "companions/utilities/object_factory.h"

#include "automation/registry.h"
#include "automation/text.h"
#include "companions/utilities/utility_error.h"

namespace tarvex::companions::utilities {

std::string versioned_progid(std::string_view progid_template) {
  return automation::replace_all(progid_template, "%v", kVersionTag);
}

contracts::ObjectRef ObjectFactoryImpl::CreateVersionedObject(const std::string& progid_template) {
  return automation::create_object(versioned_progid(progid_template));
}

}  // namespace tarvex::companions::utilities
