// The one place where an error meets the error-logging component.
#include "automation/guard.h"

#include "automation/app.h"
#include "automation/error_object.h"
#include "automation/registry.h"

namespace tarvex::automation {

void log_and_reraise(const Error& error, const Where& where, std::int32_t line) {
  Variant logger = create_object(kErrorLoggerProgId);
  call(logger, kLogAndReRaise, ErrorObject::create(error), App(), line, App()->project(),
       where.module, where.procedure);
}

}  // namespace tarvex::automation
