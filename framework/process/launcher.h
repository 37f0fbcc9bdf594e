// App_Common full launcher: starts a program with CreateProcessW, with alternate launch values for
// control-panel and batch files, long and wide paths in their extended-length form, and the
// shell as the way out when Windows asks for elevation, refuses access, or only a bare name is
// given. Its waits keep window messages flowing (MsgWaitObj), so the window stays responsive.
//
// A launch that did not happen is never reported as done: a declined elevation prompt and a
// second "elevation required" end as failures, with bUACCancelled / bElevationRequired saying
// why, and no process is then looked up by name (the one found would be somebody else's).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace kes {

// What RunX did; all empty, 0 or false until set.
struct RunXResult {
  std::u16string sPathAndFilename;  // as passed
  std::u16string sPathUsed;         // the application path given to CreateProcessW, NUL as "<NULL>"
  std::u16string sCmdLineParams;    // as passed
  bool bWideCharsInPath = false;
  bool bLongPath = false;  // longer than 259 characters
  platform::DWORD lCreationFlags = 0;
  bool bWaitForExit = false;
  bool bWaitForInit = false;
  std::int32_t lWaitTimeoutMS = 0;  // below 1: no time-out
  std::int32_t ShowType = 0;        // as passed (10 stays 10 here, the launch uses 1)
  bool bFileNotFound = false;
  bool bTimedOut = false;
  bool bWaitForInitFailed = false;
  std::u16string sWaitResult;  // "WAIT_FAILED", "WAIT_TIMEOUT" or empty
  bool bElevationRequired = false;
  bool bUACCancelled = false;
  bool bBlockedByPolicy = false;
  bool bUsedShellFallback = false;
  bool bNoProcessHandle = false;
  bool bHandleFromOpenProcess = false;
  std::int32_t lPID = 0;
  std::int32_t lThreadID = 0;
  std::int32_t lExitCode = 0;  // 259 when the wait gave up; meaningful only with bWaitForExit
  bool bSuccess = false;
};

// Starts `sPathAndFilename` with `sCmdLineParams`; with `wait_for_exit` waits for its end
// (at most `wait_timeout_ms` when that is 1 or more) and reads its exit code; with
// `wait_for_init` and no exit wait, waits up to 5.5 s for it to be ready for input. Never fails
// as a whole: every road ends in a filled record and a "RunX Finished=" log entry. A started
// process is never ended by the launcher, also not after a time-out.
RunXResult RunX(std::u16string_view path_and_filename, std::u16string_view cmd_line_params,
                bool wait_for_exit, bool wait_for_init, std::int32_t wait_timeout_ms,
                std::int32_t show_type);

// The shell fallback of RunX: ShellExW, then (unless the user declined elevation or Windows
// still asks for it) ShellX. Sets bUsedShellFallback and, on success, bSuccess and the process
// ID found by name; returns bSuccess.
bool RunXShellX(RunXResult& result, std::u16string_view path_and_filename,
                std::u16string_view cmd_line_params, bool wait_for_exit, bool wait_for_init,
                std::int32_t wait_timeout_ms, std::int32_t show_type, bool force_run_as_verb);

// How a ShellExW call ended, beyond its flag.
struct ShellExOutcome {
  bool uac_cancelled = false;       // the elevation prompt was declined (1223)
  bool elevation_required = false;  // 740 again under "runas", or under "open" with no retry
};
// ShellExecuteW with "open" (or "runas" with `force_run_as_verb`), once more with "runas" when
// Windows answers 740 under "open". True when the program was started; false when the shell
// refused it, the user declined elevation, or 740 came again under "runas" (`outcome` says
// which).
bool ShellExW(std::u16string_view path_and_filename, std::u16string_view cmd_line_params,
              std::int32_t show_type, bool force_run_as_verb, bool force_fail_on_cancelled_uac,
              ShellExOutcome* outcome = nullptr);

// The wait step of RunX: finds a process ID and a handle when the launch gave none (the handle
// it opens replaces `process`, and the caller closes it), then waits for input-idle or for the
// exit, and fills the wait fields and lExitCode of `result`.
void RunHelper_ProcessWaitForResult(RunXResult& result, platform::HANDLE& process);

// Waits for one of `handles` while window messages keep flowing: the index of the signalled
// handle, 258 (WAIT_TIMEOUT) once `timeout_ms` passed (INFINITE: never), WAIT_FAILED. The time
// is measured on the millisecond tick count, right across its wrap-around. Untraced.
platform::DWORD MsgWaitObj(platform::DWORD timeout_ms, const platform::HANDLE* handles,
                           platform::DWORD count);

}  // namespace kes
