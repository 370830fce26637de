// ObjectFactory: creates classes by ProgID template, with the companions' version tag in place
// of every "%v".
#pragma once

#include <string>

#include "contracts/companions.h"

namespace tarvex::companions::utilities {

class ObjectFactoryImpl : public contracts::ObjectFactory {
 public:
  // Raises 429 (from the registry) when no class is registered under the resulting ProgID.
  contracts::ObjectRef CreateVersionedObject(const std::string& progid_template) override;
};

// The ProgID that a template names: every "%v" replaced by the version tag.
std::string versioned_progid(std::string_view progid_template);

}  // namespace tarvex::companions::utilities
