// basMain: the start-up module, run once on each thread before the first plug-in object is
// made there.
#pragma once

namespace tarvex::entry {

// Initialises the thread's ComponentResources with App and the project name.
void Main();

}  // namespace tarvex::entry
