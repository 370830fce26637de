// Registers the utilities companions: the shared utilities, the classes created with new and
// the error-logging component by its ProgID.
#include "automation/registry.h"
#include "companions/registration.h"
#include "companions/utilities/array_utility.h"
#include "companions/utilities/file_system_utility.h"
#include "companions/utilities/guid_generator.h"
#include "companions/utilities/object_factory.h"

namespace tarvex::companions {

void register_utilities() {
  using namespace utilities;
  automation::register_new<contracts::ObjectFactory>(
      [] { return std::make_shared<ObjectFactoryImpl>(); });
  automation::register_shared<contracts::ArrayUtility>(
      [] { return std::make_shared<ArrayUtilityImpl>(); });
  automation::register_shared<contracts::GuidGenerator>(
      [] { return std::make_shared<GuidGeneratorImpl>(); });
  automation::register_shared<contracts::FileSystemUtility>(
      [] { return std::make_shared<FileSystemUtilityImpl>(); });
}

}  // namespace tarvex::companions
