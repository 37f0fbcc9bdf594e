// App_Common shutdown, restart and logoff. The boot-mode code restarts Windows through
// RestartWindows(kForcedShutdown) and logs the temporary administrator off through
// LogoffWindows(kForcedShutdown). When the system refuses the request, the system's own
// command-line tool is started instead (shutdown.exe, or wpeutil.exe in a preinstallation
// environment), so the user still gets the restart the program announced. Every request carries
// the reason "planned, application, maintenance" (0x80040001) for the system's shutdown log.
#pragma once

#include <cstdint>
#include <string>

namespace kes {

// The shutdown reason every request carries: SHTDN_REASON_FLAG_PLANNED |
// SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_MAINTENANCE.
inline constexpr std::uint32_t kShutdownReason = 0x80040001u;

// Run-time errors raised (and handled) inside the shutdown functions.
inline constexpr std::int32_t kErrShutdownFailed = static_cast<std::int32_t>(0x8004062Bu);
inline constexpr std::int32_t kErrNoShutdownPrivilegeValue = static_cast<std::int32_t>(0x8004062Cu);
inline constexpr std::int32_t kErrNoCurrentProcess = static_cast<std::int32_t>(0x8004062Du);
inline constexpr std::int32_t kErrCannotAdjustToken = static_cast<std::int32_t>(0x8004062Eu);

// How hard a restart or logoff pushes the running applications.
struct ShutdownOptions {
  bool force_if_hung = false;  // EWX_FORCEIFHUNG: end applications that do not answer
  bool force = false;          // EWX_FORCE: end applications without asking them
  bool restart_apps = false;   // EWX_RESTARTAPPS (Vista and later; dropped before)
};
// What the program always asks for: applications are closed without waiting.
inline constexpr ShutdownOptions kForcedShutdown{.force_if_hung = true, .force = true};

// Traced (arguments logged as bForceIfHung, bForce, bRestartApps). Restarts Windows: EWX_REBOOT
// with EWX_FORCE (force) or else EWX_FORCEIFHUNG (force_if_hung), plus EWX_RESTARTAPPS when
// restart_apps on Vista and later. True when the system accepted the request. False when it
// refused: then "shutdown.exe -r -t 0" (with " -f" when forced), or "wpeutil.exe Reboot" on
// WinPE, has been started hidden without waiting, its outcome unknown. Never throws.
bool RestartWindows(ShutdownOptions options);

// Traced. Logs the signed-in user off: EWX_LOGOFF with the same modifiers as RestartWindows.
// True when the system accepted the request. False when it refused: then "shutdown.exe -l -t 0"
// (with " -f" when forced), or "wpeutil.exe Logoff" on WinPE, and "logoff.exe" have both been
// started hidden without waiting. Never throws.
bool LogoffWindows(ShutdownOptions options);

// Traced. Enables the shutdown privilege (NTEnableShutDown, else SetPrivilegeToken as this
// procedure) and calls ExitWindowsEx(`type`, kShutdownReason). True when the system accepted the
// request; false, logged, when no way of enabling the privilege worked or the call was refused.
bool ShutdownSystem(std::int32_t type);

// Traced. Enables SeShutdownPrivilege in the program's own process token. True when the
// adjustment call succeeded (a privilege the token does not hold is not detected); false, with
// the failing step logged as a handled run-time error, when the privilege value, the process or
// its token could not be had or the adjustment failed. `message` is only logged. The token handle
// is always closed.
bool NTEnableShutDown(std::u16string& message);

}  // namespace kes
