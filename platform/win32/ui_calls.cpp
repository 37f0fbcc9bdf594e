#include "platform/win32/machine.h"
#include "platform/win32/windows_support.h"

#include <commctrl.h>

namespace kes::win32 {
namespace {

class Win32UiApi final : public platform::UiApi {
 public:
  int MessageBoxW(platform::HWND owner, const char16_t* text, const char16_t* caption,
                  platform::UINT type) override {
    return ::MessageBoxW(reinterpret_cast<HWND>(owner), W(text), W(caption), type);
  }

  // The manifest asks for common controls 6; registering the classes makes message boxes and
  // the main window draw with the visual styles.
  void InitCommonControls() override {
    INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX),
                             ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
  }

  bool PumpPendingMessages() override {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // Put it back so that the loop that owns the window sees it too.
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
      }
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    return true;
  }

  platform::BOOL ExitWindowsEx(platform::UINT flags, platform::DWORD reason) override {
    return ::ExitWindowsEx(flags, reason);
  }

  platform::HANDLE LoadImageA(platform::HMODULE module, const char* name, platform::UINT type,
                              int cx, int cy, platform::UINT flags) override {
    HINSTANCE inst = module ? reinterpret_cast<HINSTANCE>(module) : ::GetModuleHandleW(nullptr);
    return reinterpret_cast<platform::HANDLE>(::LoadImageA(inst, name, type, cx, cy, flags));
  }

  std::intptr_t SendMessageW(platform::HWND hwnd, platform::UINT msg, std::uintptr_t wparam,
                             std::intptr_t lparam) override {
    return ::SendMessageW(reinterpret_cast<HWND>(hwnd), msg, wparam, lparam);
  }

  platform::HWND GetWindow(platform::HWND hwnd, platform::UINT cmd) override {
    return reinterpret_cast<platform::HWND>(::GetWindow(reinterpret_cast<HWND>(hwnd), cmd));
  }
};

}  // namespace

std::unique_ptr<platform::UiApi> MakeWin32Ui() {
  return std::make_unique<Win32UiApi>();
}

}  // namespace kes::win32
