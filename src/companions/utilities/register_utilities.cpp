// Registers the utilities companions.
#include "companions/registration.h"

namespace tarvex::companions {

void register_utilities() {}

}  // namespace tarvex::companions
