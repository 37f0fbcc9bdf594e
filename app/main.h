// App_Main: the process entry of the program.
#pragma once

namespace kes {

// Runs the program on the current context: sets NeverLoadForms, starts the framework
// (InitApp) and dispatches the command line (AppMainSub). Returns when the action is done; it
// sets no exit status and never fails (every step logs its own failures).
void Main();

}  // namespace kes
