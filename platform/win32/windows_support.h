// The one way to reach <windows.h>. Owns the macros that shape it.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00
#ifndef UNICODE
#define UNICODE
#endif
// Windows' functions are declared without dllimport, so every call names the function itself
// and goes through its stub. Kestrune.exe loads some DLLs at their first call
// (cmake/windows.cmake): the stub of such a function is what the delay-load helper starts from, and
// 32-bit GNU ld drops a stub that no call names (binutils bug 14339), leaving the call to jump to
// address 0.
#define DECLSPEC_IMPORT

#include <windows.h>

#include <string>
#include <string_view>

namespace kes::win32 {

// UTF-16 text crosses the boundary unchanged: wchar_t is 16 bits on Windows.
inline const wchar_t* W(const char16_t* s) {
  return reinterpret_cast<const wchar_t*>(s);
}
inline wchar_t* W(char16_t* s) {
  return reinterpret_cast<wchar_t*>(s);
}
inline std::u16string U(const wchar_t* s) {
  return s ? std::u16string(reinterpret_cast<const char16_t*>(s)) : std::u16string();
}

}  // namespace kes::win32
