#include "framework/process/close_handle.h"

#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "platform/base/u16.h"

namespace kes {

// Untraced on purpose: every launcher calls it on each road, most often with 0 for a handle it
// never got, so only a refusal by the system is worth an entry (tagged -1, no record).
void CloseMyHandle(platform::HANDLE handle) {
  if (handle == 0 || handle == platform::kInvalidHandle) return;
  auto& os = OS();
  const platform::BOOL closed = os.sys.CloseHandle(handle);
  if (closed != 0) return;
  const platform::DWORD err = os.sys.GetLastError();
  debug::dLogAPI(-1, u"CloseHandle failure (return = 0)");
  debug::dLog(
      -1,
      u"Failure in CloseHandle (trying NtClose next, no logging on return...) for handle [" +
          Dec(static_cast<std::int64_t>(handle)) + u"] API error " + Dec(err) + u"=" +
          debug::GetSystemMsg(static_cast<std::int32_t>(err)),
      debug::Event_Normal);
  os.proc.NtClose(handle);
}

}  // namespace kes
