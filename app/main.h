// App_Main: the process entry of the program.
#pragma once

#include <cstdint>

namespace kes {

// Runs the program on the current context: sets NeverLoadForms, starts the framework
// (InitApp) and dispatches the command line (AppMainSub). Returns, when the action is done, the
// exit code the run ends with (app/exit_codes.h); never fails (every step logs its own failures).
std::int32_t Main();

}  // namespace kes
