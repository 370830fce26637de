// Registers the store companions.
#include "companions/registration.h"

namespace tarvex::companions {

void register_store() {}

}  // namespace tarvex::companions
