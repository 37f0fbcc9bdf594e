// Forms on the real machine: the shared window class, the DPI entry points and the message loop
// that runs while a form is open. The form itself is in form.cpp.
#include "platform/win32/form.h"
#include "platform/win32/machine.h"

namespace kes::win32 {
namespace {

constexpr wchar_t kFormClassName[] = L"KestruneForm";

template <class Fn>
Fn User32Export(const char* name) {
  return reinterpret_cast<Fn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name)));
}

}  // namespace

Win32FormApi::Win32FormApi()
    : get_dpi_for_window_(User32Export<GetDpiForWindowFn>("GetDpiForWindow")),
      adjust_for_dpi_(User32Export<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi")) {}

std::unique_ptr<platform::Form> Win32FormApi::CreateForm(const platform::FormLayout& layout,
                                                         platform::FormEvents& events) {
  auto form = std::make_unique<Win32Form>(*this, layout, events);
  if (form->Create()) return form;
  // Tearing the half-made form down must not hide why it failed.
  const DWORD error = ::GetLastError();
  form.reset();
  ::SetLastError(error);
  return nullptr;
}

// IsDialogMessageW gives the forms the keyboard of a dialog: Tab and Shift+Tab along the tab
// order, arrow keys within the options, Enter on the focused push button (DM_GETDEFID), Space on
// a button, Alt+F4. The loop ends once the last form has been destroyed: the check follows every
// dispatched message, so the WM_NCDESTROY of the last form ends it without a WM_QUIT that could
// linger and end a later loop too early.
void Win32FormApi::RunForms() {
  MSG msg;
  while (!open_.empty()) {
    if (::GetMessageW(&msg, nullptr, 0, 0) <= 0) return;  // WM_QUIT, or no queue left
    HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && IsOpenForm(root) && ::IsDialogMessageW(root, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

ATOM Win32FormApi::FormClass() {
  if (atom_) return atom_;
  HINSTANCE inst = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &Win32Form::WndProc;
  wc.hInstance = inst;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  // The face colour of dialogs, which is also what labels and buttons paint behind their text.
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = kFormClassName;
  atom_ = ::RegisterClassExW(&wc);
  if (!atom_ && ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    atom_ = static_cast<ATOM>(::GetClassInfoExW(inst, kFormClassName, &existing));
  }
  return atom_;
}

UINT Win32FormApi::WindowDpi(HWND hwnd) const {
  if (get_dpi_for_window_ && hwnd) {
    if (const UINT dpi = get_dpi_for_window_(hwnd)) return dpi;
  }
  int dpi = 0;
  if (HDC dc = ::GetDC(nullptr)) {
    dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(nullptr, dc);
  }
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

bool Win32FormApi::AdjustRect(RECT& rect, DWORD style, bool menu, DWORD ex_style, UINT dpi) const {
  if (adjust_for_dpi_) return adjust_for_dpi_(&rect, style, menu, ex_style, dpi) != FALSE;
  return ::AdjustWindowRectEx(&rect, style, menu, ex_style) != FALSE;
}

std::unique_ptr<platform::FormApi> MakeWin32Forms() {
  return std::make_unique<Win32FormApi>();
}

}  // namespace kes::win32
