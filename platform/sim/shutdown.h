// Ending the session or the system on the simulated machine: ExitWindowsEx and the three tools
// that do the same from a command line (shutdown.exe, wpeutil.exe in a preinstallation
// environment, logoff.exe). Nothing actually ends: each accepted request is appended to
// Machine::shutdown_requests, and whoever drives the machine (a test, the simulated boot cycle)
// decides what follows. Each can be made to fail on demand: ExitWindowsEx through
// Machine::InjectFault("ExitWindowsEx", error); a tool through its file name
// (InjectFault("shutdown.exe", code)), which then exits with `code` and records nothing.
#pragma once

#include <string>

#include "platform/sim/machine.h"

namespace kes::sim {

// user32's ExitWindowsEx. Non-zero once the request is recorded. 0 with 87 for flags outside
// EWX_LOGOFF/SHUTDOWN/REBOOT/FORCE/POWEROFF/FORCEIFHUNG (and EWX_RESTARTAPPS from Vista on);
// 0 with 1314 for a restart, shutdown or power-off while the process token does not have
// SeShutdownPrivilege enabled (logging off needs no privilege).
platform::BOOL SimExitWindowsEx(Machine& m, platform::UINT flags, DWORD reason);

// shutdown.exe: "-r" / "-g" restart, "-s" / "-p" shut down, "-l" log off (also with "/"
// instead of "-"), with "-f", "-t N" (N > 0 implies -f), "-d [p|u:]xx:yy" (the reason code),
// "-c TEXT" and "-m \\COMPUTER" taken apart. Exit 0 once recorded; 87 for an option it does not
// know, a missing value, no action, or "-l" with "-m" or "-d"; 1116 for "-a" (nothing to
// abort: requests here take effect at once); 1314 for a restart or shutdown when the signed-in
// user's token does not hold SeShutdownPrivilege.
DWORD RunShutdownTool(Machine& m, const std::u16string& command_line);

// wpeutil.exe: "Reboot" and "Shutdown" (any letter case) are recorded as a forced restart or
// shutdown, exit 0; its other commands (InitializeNetwork, WaitForNetwork...) do nothing and
// exit 0; anything else, "Logoff" included, is refused with its usage text and exit 1.
DWORD RunWpeutilTool(Machine& m, const std::u16string& command_line);

// logoff.exe: without arguments (or with a session number) logs the signed-in user off, exit 0;
// "/?" prints its usage and exits 0 recording nothing.
DWORD RunLogoffTool(Machine& m, const std::u16string& command_line);

}  // namespace kes::sim
