// App_Common shell launchers: start a command line through the shell launcher, optionally wait
// for the program to end and collect its exit code. Both launchers switch WOW64 file-system
// redirection off around the launch, so a 32-bit process on 64-bit Windows starts the real
// System32 tools, and keep window messages flowing while they wait.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kes {

// Shell window styles (lWindowStyle of the launchers).
enum ShellWindowStyle : std::int32_t {
  kShellHide = 0,
  kShellNormalFocus = 1,
  kShellMinimizedFocus = 2,
  kShellMaximizedFocus = 3,
  kShellNormalNoFocus = 4,
  kShellMinimizedNoFocus = 6,
};

// Runs `sPathAndFilename` (quoted when it holds a space) followed by `sCmdLineParams`.
// Without `bWait`: true once the program started (a process ID came back), `lErrLvl`
// untouched. With `bWait`: waits until the program ends and puts its exit code in `lErrLvl`;
// with `bUseTimeOut` it gives up after `lTimeOut` ms (the program keeps running, `lErrLvl` 0).
// Returns false, with a debug-log entry saying why, for an empty path, a path with a backslash
// that does not exist, a program that could not be started, no process handle, or a time-out.
bool ShellX(std::u16string_view sPathAndFilename, std::u16string_view sCmdLineParams, bool bWait,
            std::int32_t lWindowStyle, std::int32_t& lErrLvl, bool bUseTimeOut,
            std::int32_t lTimeOut);

// Runs the whole `sCommandLine` with `lWindowStyle` and waits for its end without writing to
// the debug log. True with the exit code in `lExitCode` when it ended; false with
// `sErrorText` set when it could not be started or opened ("Could not obtain a process
// handle!", or the failure's description) or when `bUseTimeout` is set and `lTimeoutMS`
// passed ("此进程已超时.", `lExitCode` 0, the program keeps running).
bool ShellAndWait(std::u16string_view sCommandLine, std::int32_t lWindowStyle,
                  std::u16string& sErrorText, std::int32_t lTimeoutMS, bool bUseTimeout,
                  std::int32_t& lExitCode);

// A Windows SW_* show value as a shell window style: 0, 1, 2, 3, 4 and 6 stay as they are;
// every other value (5, 7, 8, 9, 10, negative ones) becomes 0 (hidden). Never fails.
std::int32_t ToShellWindowStyle(std::int32_t eWindowStyle);

}  // namespace kes
