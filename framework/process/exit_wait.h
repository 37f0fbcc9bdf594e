// The exit wait shared by the shell launchers: poll the exit code of a started process until it
// ends or a time-out passes, keeping this thread's window messages flowing in every pass, so
// the window stays responsive while an external program runs.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace kes {

enum class ExitWaitStyle {
  // Each pass sleeps in MsgWaitForMultipleObjects on the process for at most 100 ms and wakes
  // as soon as the process ends or input arrives.
  kMessageAware,
  // Each pass sleeps a fixed 100 ms whatever happens. Kept only so that the latency of the two
  // can be measured side by side; no launcher uses it.
  kClassicSleep,
};

struct ExitWaitResult {
  platform::DWORD exit_code = 0;   // the last code read; 0 after a time-out or a failed read
  bool timed_out = false;          // `timeout_ms` passed while the process was still running
  bool read_failed = false;        // GetExitCodeProcess failed (for example a bad handle)
  platform::DWORD read_error = 0;  // its last error then
  std::uint32_t passes = 0;        // exit-code reads made
};

// Waits for the process behind `process` (opened with query access; SYNCHRONIZE as well for
// the message-aware style, otherwise a pass falls back to a plain 100 ms sleep) to end.
// On success exit_code is the process's exit code. With `use_timeout`, once more than
// `timeout_ms` have passed since the start (a negative time-out expires after the first pass)
// the wait gives up with timed_out and exit_code 0, leaving the process running. A failed
// exit-code read ends the wait with read_failed (and read_error): the process's outcome is then
// unknown, which callers report as a failure. Window messages are pumped in every pass.
ExitWaitResult WaitForProcessExit(platform::HANDLE process, bool use_timeout,
                                  std::int32_t timeout_ms,
                                  ExitWaitStyle style = ExitWaitStyle::kMessageAware);

}  // namespace kes
