// basMain: start-up of the component on a thread.
#include "entry/bas_main.h"

#include "automation/app.h"
#include "automation/guard.h"
#include "automation/registry.h"
#include "contracts/companions.h"

namespace tarvex::entry {

void Main() {
  automation::guarded({"basMain", "Main"}, [] {
    automation::shared<contracts::ComponentResources>().Initialise(automation::App(),
                                                                   automation::App()->project());
  });
}

}  // namespace tarvex::entry
