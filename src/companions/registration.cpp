// Registers the companion components, once per process.
#include "companions/registration.h"

#include <mutex>

namespace tarvex::companions {

void register_companions() {
  static std::once_flag once;
  std::call_once(once, [] {
    register_utilities();
    register_dom();
    register_store();
  });
}

}  // namespace tarvex::companions
