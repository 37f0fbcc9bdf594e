// Standard message boxes, common controls and the window-message pump.
#pragma once

#include "platform/types.h"

namespace kes::platform {

class UiApi {
 public:
  virtual ~UiApi() = default;
  // Returns the button chosen (IDOK, IDCANCEL, IDYES, IDNO); 0 on failure.
  virtual int MessageBoxW(HWND owner, const char16_t* text, const char16_t* caption, UINT type) = 0;
  virtual void InitCommonControls() = 0;
  // Dispatches every pending window message of this thread (PeekMessageW loop); returns false
  // when WM_QUIT was seen.
  virtual bool PumpPendingMessages() = 0;
};

}  // namespace kes::platform
