// Standard message boxes, common controls, the window-message pump, and ending the session
// (user32).
#pragma once

#include "platform/types.h"

namespace kes::platform {

// ExitWindowsEx flags (winuser.h).
enum : UINT {
  kEWX_LOGOFF = 0,
  kEWX_SHUTDOWN = 0x1,
  kEWX_REBOOT = 0x2,
  kEWX_FORCE = 0x4,
  kEWX_POWEROFF = 0x8,
  kEWX_FORCEIFHUNG = 0x10,
  kEWX_RESTARTAPPS = 0x40,  // Vista and later
};

class UiApi {
 public:
  virtual ~UiApi() = default;
  // Returns the button chosen (IDOK, IDCANCEL, IDYES, IDNO); 0 on failure.
  virtual int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT type) = 0;
  virtual void InitCommonControls() = 0;
  // Dispatches every pending window message of this thread (PeekMessageW loop); returns false
  // when WM_QUIT was seen.
  virtual bool PumpPendingMessages() = 0;
  // Starts logging the user off (EWX_LOGOFF), restarting (EWX_REBOOT) or shutting down, with the
  // modifiers above and a shutdown reason code. Returns as soon as the request is under way:
  // non-zero when it was accepted; 0 with 1314 (ERROR_PRIVILEGE_NOT_HELD) for a restart or
  // shutdown while SeShutdownPrivilege is not enabled in the process token, 87 for flags the
  // system does not know.
  virtual BOOL ExitWindowsEx(UINT flags, DWORD reason) = 0;
};

}  // namespace kes::platform
