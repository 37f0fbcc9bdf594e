// Boot-mode actions that the switchboard reaches but that this build does not carry yet. Each
// keeps its final name and parameters, registers its arguments with its trace record and logs
// that it is not available, so dispatch can be exercised end to end already.
#pragma once

#include <string_view>

namespace kes {

// Configures minimal Safe Mode (bCommandPrompt: with the command prompt as shell), optionally
// asks and restarts. Not available yet: logs so and changes nothing.
void DoSafe(bool bCommandPrompt, bool bRestart, bool bEnableF8, bool bTempAdmin);
// Configures Safe Mode with networking, optionally asks and restarts. Not available yet: logs
// so and changes nothing.
void DoSafeNet(bool bRestart, bool bEnableF8, bool bTempAdmin);
// Configures Safe Mode with networking without question, undo hook or restart. Not available
// yet: logs so and changes nothing.
void DoSafeNetNoReboot(bool bEnableF8, bool bTempAdmin);
// Undoes every modification (bFull: also the marker script and the temporary administrator).
// Not available yet: logs so and changes nothing.
void RemoveMods(bool bFull);
// Writes the one-time start entry that runs the program with sParam. Not available yet: logs so
// and writes nothing.
void AddMeToRunOnce(std::u16string_view sParam, std::u16string_view sEntryName);
// Creates the main window when it does not exist and shows it modeless. Not available yet: logs
// so and shows nothing.
void ShowMainWindow();

}  // namespace kes
