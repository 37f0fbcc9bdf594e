// App_Common shell launchers: start a command line through the shell launcher, optionally wait
// for the program to end and collect its exit code. Both launchers switch WOW64 file-system
// redirection off around the launch, so a 32-bit process on 64-bit Windows starts the real
// System32 tools, and keep window messages flowing while they wait.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kes {

// Shell window styles (`window_style` of the launchers).
enum ShellWindowStyle : std::int32_t {
  kShellHide = 0,
  kShellNormalFocus = 1,
  kShellMinimizedFocus = 2,
  kShellMaximizedFocus = 3,
  kShellNormalNoFocus = 4,
  kShellMinimizedNoFocus = 6,
};

// Runs `path_and_filename` (quoted when it holds a space) followed by `params`.
// Without `wait_for_exit`: true once the program started (a process ID came back), `exit_code`
// untouched. With `wait_for_exit`: waits until the program ends and puts its exit code in
// `exit_code`; with `use_timeout` it gives up after `timeout_ms` ms (the program keeps running,
// `exit_code` 0). Returns false, with a debug-log entry saying why, for an empty path, a path with
// a backslash that does not exist, a program that could not be started, no process handle, an
// exit code that could not be read (`exit_code` untouched: the outcome is unknown), or a time-out.
bool ShellX(std::u16string_view path_and_filename, std::u16string_view params, bool wait_for_exit,
            std::int32_t window_style, std::int32_t& exit_code, bool use_timeout,
            std::int32_t timeout_ms);

// Runs the whole `command_line` with `window_style` and waits for its end without writing to
// the debug log. True with the exit code in `exit_code` when it ended; false with
// `error_text` set when it could not be started or opened ("Could not obtain a process
// handle!", or the failure's description), when its exit code could not be read ("Could not read
// the exit code of the process! [code=text]", `exit_code` untouched), or when `use_timeout` is
// set and `timeout_ms` passed ("此进程已超时.", `exit_code` 0, the program keeps running).
bool ShellAndWait(std::u16string_view command_line, std::int32_t window_style,
                  std::u16string& error_text, std::int32_t timeout_ms, bool use_timeout,
                  std::int32_t& exit_code);

// The system's own tools are started by their full path in the system folder (the native one
// for a 32-bit process on 64-bit Windows, which the launchers reach with redirection off), never
// by a bare name: the system's search order looks in the program's own folder and the current
// folder first, where anyone may have put a "bcdedit.exe" that would then run elevated.
//
// The full path of system tool `exe` ("bcdedit.exe"); before start-up knows the system folder,
// the bare name. Untraced.
std::u16string SystemToolPath(std::u16string_view exe);
// The command line that runs system tool `exe` with `args`: its full path (in quotes when it
// holds a blank), a blank, `args`. Untraced.
std::u16string SystemToolCommand(std::u16string_view exe, std::u16string_view args);
// The arguments that have the system's cmd.exe run `command` without its "Autorun" start hooks
// (/d): the program's own commands must not start whatever a start hook names (the program
// itself, for one). `command` is wrapped in quotes that cmd removes again, so that quoted paths
// inside it stay as they are. Untraced.
std::u16string CmdArguments(std::u16string_view command);
// The whole command line: the system's cmd.exe with CmdArguments(command). Untraced.
std::u16string CmdCommandLine(std::u16string_view command);

// A Windows SW_* show value as a shell window style: 0, 1, 2, 3, 4 and 6 stay as they are;
// every other value (5, 7, 8, 9, 10, negative ones) becomes 0 (hidden). Never fails.
std::int32_t ToShellWindowStyle(std::int32_t window_style);

}  // namespace kes
