#include "framework/process/exit_wait.h"

#include "framework/env/context.h"

namespace kes {
namespace {

constexpr platform::DWORD kPassMs = 100;

bool Expired(platform::DWORD start, bool use_timeout, std::int32_t timeout_ms) {
  if (!use_timeout) return false;
  // timeGetTime wraps after 49.7 days; the unsigned difference stays right across the wrap.
  const platform::DWORD elapsed = OS().sys.timeGetTime() - start;
  return static_cast<std::int64_t>(elapsed) > static_cast<std::int64_t>(timeout_ms);
}

}  // namespace

ExitWaitResult WaitForProcessExit(platform::HANDLE process, bool use_timeout,
                                  std::int32_t timeout_ms, ExitWaitStyle style) {
  auto& os = OS();
  ExitWaitResult r;
  const platform::DWORD start = os.sys.timeGetTime();
  platform::DWORD code = 0;
  for (;;) {
    ++r.passes;
    if (!os.proc.GetExitCodeProcess(process, &code)) {
      // Nothing more can be learnt from this handle; waiting on would never end.
      r.read_failed = true;
      r.read_error = os.sys.GetLastError();
      code = 0;
      break;
    }
    if (style == ExitWaitStyle::kClassicSleep) {
      os.ui.PumpPendingMessages();
      os.sys.Sleep(kPassMs);
    } else {
      if (code != platform::kSTILL_ACTIVE) break;
      os.ui.PumpPendingMessages();
      const platform::DWORD w =
          os.proc.MsgWaitForMultipleObjects(1, &process, 0, kPassMs, platform::kQS_ALLINPUT);
      // Ended while we slept: the next read collects its code, even if the time is up now.
      if (w == platform::kWAIT_OBJECT_0) continue;
      // A handle without SYNCHRONIZE access cannot be waited on: keep the old pace instead of
      // spinning.
      if (w == platform::kWAIT_FAILED) os.sys.Sleep(kPassMs);
    }
    if (Expired(start, use_timeout, timeout_ms)) {
      r.timed_out = true;
      code = 0;
      break;
    }
    if (code != platform::kSTILL_ACTIVE) break;
  }
  r.exit_code = code;
  return r;
}

}  // namespace kes
