// Registers the dom companions.
#include "companions/registration.h"

namespace tarvex::companions {

void register_dom() {}

}  // namespace tarvex::companions
