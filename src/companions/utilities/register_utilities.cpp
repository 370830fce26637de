// Registers the utilities companions: the shared utilities, the classes created with new and
// the error-logging component by its ProgID.
#include "automation/guard.h"
#include "automation/registry.h"
#include "companions/registration.h"
#include "companions/utilities/array_utility.h"
#include "companions/utilities/component_resources.h"
#include "companions/utilities/date_time_utility.h"
#include "companions/utilities/error_logger.h"
#include "companions/utilities/file_system_utility.h"
#include "companions/utilities/guid_generator.h"
#include "companions/utilities/object_factory.h"
#include "companions/utilities/run_environment.h"
#include "companions/utilities/trace_utility.h"

namespace tarvex::companions {

void register_utilities() {
  using namespace utilities;
  using automation::register_new;
  using automation::register_shared;
  register_new<contracts::ObjectFactory>([] { return std::make_shared<ObjectFactoryImpl>(); });
  register_new<contracts::RunEnvironment>([] { return std::make_shared<RunEnvironmentImpl>(); });
  register_shared<contracts::ArrayUtility>([] { return std::make_shared<ArrayUtilityImpl>(); });
  register_shared<contracts::GuidGenerator>([] { return std::make_shared<GuidGeneratorImpl>(); });
  register_shared<contracts::FileSystemUtility>(
      [] { return std::make_shared<FileSystemUtilityImpl>(); });
  register_shared<contracts::ComponentResources>(
      [] { return std::make_shared<ComponentResourcesImpl>(); });
  register_shared<contracts::TraceUtility>([] { return std::make_shared<TraceUtilityImpl>(); });
  register_shared<contracts::DateTimeUtility>(
      [] { return std::make_shared<DateTimeUtilityImpl>(); });
  automation::register_progid(automation::kErrorLoggerProgId,
                              [] { return automation::ObjectRef(ErrorLoggerHelper::create()); });
}

}  // namespace tarvex::companions
