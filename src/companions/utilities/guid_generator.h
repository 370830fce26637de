// GuidGenerator: random GUIDs in registry form.
#pragma once

#include "contracts/companions.h"

namespace tarvex::companions::utilities {

class GuidGeneratorImpl : public contracts::GuidGenerator {
 public:
  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal, a version 4 (random) GUID.
  std::string NewGuidText() override;
};

}  // namespace tarvex::companions::utilities
