// Boot-mode actions that the switchboard reaches but that this build does not carry yet. Each
// keeps its final name and parameters, registers its arguments with its trace record and logs
// that it is not available, so dispatch can be exercised end to end already.
#pragma once

#include "app/kestrune_safeboot.h"

namespace kes {

// Creates the main window when it does not exist and shows it modeless. Not available yet: logs
// so and shows nothing.
void ShowMainWindow();

}  // namespace kes
