/* The smallest static Win32 program that shows a window: the yardstick Kestrune.exe's start-up is
 * measured against (bench/startup_wine.sh). It opens one captioned top-level window and ends when
 * the window is closed. Written in C so the native build, which turns every C++ file of a test
 * folder into a test program, leaves it alone; only the Windows build makes it (hello.exe). */
#include <windows.h>

#define kClassName L"KestruneHelloWindow"
#define kCaption L"hello window"

static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wparam, lparam);
  }
}

/* Returns 0 once the window was closed, 1 when it could not be created. */
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR command_line, int show) {
  WNDCLASSW wc = {0};
  HWND hwnd;
  MSG msg;
  (void)previous;
  (void)command_line;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  if (!RegisterClassW(&wc)) return 1;
  /* About the size of Kestrune's main window, so both map a similar amount of pixels. */
  hwnd = CreateWindowExW(0, kClassName, kCaption, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                         640, 350, NULL, NULL, instance, NULL);
  if (!hwnd) return 1;
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  while (GetMessageW(&msg, NULL, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return (int)msg.wParam;
}
