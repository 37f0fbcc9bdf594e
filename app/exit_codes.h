// What a run of the program ends with, for the scripts that run its switches across many
// machines (the README has the table). Windows' own code where one fits; the window's runs end
// with kDone.
#pragma once

#include <cstdint>

namespace kes {

enum class ExitCode : std::int32_t {
  kDone = 0,                   // done as asked
  kConfigurationFailed = 1,    // the Safe Mode configuration failed and was undone
  kReturnIncomplete = 2,       // Safe Mode stays; the program retries at the next boot
  kRestartRefused = 3,         // Windows refused the restart; its shutdown tool was started
  kNetworkLocation = 4,        // run from a network location: Safe Mode was not configured
  kNotASwitch = 87,            // ERROR_INVALID_PARAMETER: the argument text is no switch
  kUnsupportedWindows = 1150,  // ERROR_OLD_WIN_VERSION: start-up ended the program
  kDeclined = 1223,            // ERROR_CANCELLED: the user said no; the action did not happen
};

}  // namespace kes
