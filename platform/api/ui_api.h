// Standard message boxes, common controls, the window-message pump, and ending the session
// (user32).
#pragma once

#include <cstdint>

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
  // Loads an image resource of `module` (0: the program's own) by name (IMAGE_ICON 1) at the
  // size asked; with LR_SHARED (0x8000) the system owns the image. 0 with the last error
  // (1813 ERROR_RESOURCE_TYPE_NOT_FOUND, 1814 ERROR_RESOURCE_NAME_NOT_FOUND) on failure.
  virtual HANDLE LoadImageA(HMODULE module, const char* name, UINT type, int cx, int cy,
                            UINT flags) = 0;
  // Sends a window message and returns the window's answer (0 for an unknown window, last
  // error 1400 ERROR_INVALID_WINDOW_HANDLE).
  virtual std::intptr_t SendMessageW(HWND hwnd, UINT msg, std::uintptr_t wparam,
                                     std::intptr_t lparam) = 0;
  // The window related to hwnd (GW_OWNER 4: its owner); 0 when there is none.
  virtual HWND GetWindow(HWND hwnd, UINT cmd) = 0;
};

// Window messages and constants the program sends or names.
inline constexpr UINT kWM_SETICON = 0x80;
inline constexpr UINT kICON_SMALL = 0;
inline constexpr UINT kICON_BIG = 1;
inline constexpr UINT kIMAGE_ICON = 1;
inline constexpr UINT kLR_SHARED = 0x8000;
inline constexpr UINT kGW_OWNER = 4;

}  // namespace kes::platform
