// System calls forwarded to Windows. Structures are copied field by field between Windows'
// types and the platform's (whose DWORD is a fixed 32-bit type, so pointers never alias).
// Entry points newer than Windows XP are looked up at run time so that the program still loads
// on XP.
#include <algorithm>

#include "platform/win32/fault_veh.h"
#include "platform/win32/machine.h"
#include "platform/win32/windows_support.h"
#include "platform/win32/wmi.h"

#include <mmsystem.h>
#include <shlwapi.h>
#include <winnetwk.h>
#include <winver.h>

// advapi32's RtlGenRandom under its exported name (ntsecapi.h would make "RtlGenRandom" a macro).
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);

namespace kes::win32 {
namespace {

using platform::BOOL;
using platform::DWORD;
using platform::HMODULE;
using platform::UINT;
using platform::WORD;

platform::SYSTEMTIME FromWin(const ::SYSTEMTIME& s) {
  return {s.wYear, s.wMonth, s.wDayOfWeek, s.wDay, s.wHour, s.wMinute, s.wSecond, s.wMilliseconds};
}

::SYSTEMTIME ToWin(const platform::SYSTEMTIME& s) {
  return {s.wYear, s.wMonth, s.wDayOfWeek, s.wDay, s.wHour, s.wMinute, s.wSecond, s.wMilliseconds};
}

::FILETIME ToWin(const platform::FILETIME& f) {
  return {f.dwLowDateTime, f.dwHighDateTime};
}
platform::FILETIME FromWin(const ::FILETIME& f) {
  return {f.dwLowDateTime, f.dwHighDateTime};
}

platform::TIME_ZONE_INFORMATION FromWin(const ::TIME_ZONE_INFORMATION& t) {
  platform::TIME_ZONE_INFORMATION r;
  r.Bias = t.Bias;
  r.StandardName = U(t.StandardName);
  r.StandardDate = FromWin(t.StandardDate);
  r.StandardBias = t.StandardBias;
  r.DaylightName = U(t.DaylightName);
  r.DaylightDate = FromWin(t.DaylightDate);
  r.DaylightBias = t.DaylightBias;
  return r;
}

::TIME_ZONE_INFORMATION ToWin(const platform::TIME_ZONE_INFORMATION& t) {
  ::TIME_ZONE_INFORMATION r{};
  r.Bias = t.Bias;
  const auto copy_name = [](const std::u16string& from, WCHAR* to) {
    const auto n = std::min<std::size_t>(from.size(), 31);
    std::copy_n(from.begin(), n, to);
    to[n] = L'\0';
  };
  copy_name(t.StandardName, r.StandardName);
  r.StandardDate = ToWin(t.StandardDate);
  r.StandardBias = t.StandardBias;
  copy_name(t.DaylightName, r.DaylightName);
  r.DaylightDate = ToWin(t.DaylightDate);
  r.DaylightBias = t.DaylightBias;
  return r;
}

// A kernel32 export that older Windows versions may lack; nullptr then.
template <class Fn>
Fn Kernel32Export(const char* name) {
  return reinterpret_cast<Fn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name)));
}

// An ntdll export; nullptr where this Windows version lacks it.
template <class Fn>
Fn NtdllExport(const char* name) {
  return reinterpret_cast<Fn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name)));
}

class Win32SystemApi final : public platform::SystemApi {
 public:
  DWORD GetLastError() override { return ::GetLastError(); }
  void SetLastError(DWORD code) override { ::SetLastError(code); }

  std::u16string GetCommandLineW() override { return U(::GetCommandLineW()); }

  std::u16string PathGetArgsW(const char16_t* cmdline) override {
    if (!cmdline) return {};
    return U(::PathGetArgsW(W(cmdline)));
  }

  BOOL IsWow64Process(platform::HANDLE process, BOOL* wow64) override {
    using Fn = ::BOOL(WINAPI*)(::HANDLE, ::PBOOL);
    static const Fn fn = Kernel32Export<Fn>("IsWow64Process");
    if (!fn) {
      ::SetLastError(ERROR_PROC_NOT_FOUND);
      return FALSE;
    }
    ::BOOL result = FALSE;
    const ::BOOL ok = fn(reinterpret_cast<::HANDLE>(process), &result);
    if (ok && wow64) *wow64 = result;
    return ok;
  }

  void GetSystemInfo(platform::SYSTEM_INFO* info) override {
    if (!info) return;
    ::SYSTEM_INFO si{};
    ::GetSystemInfo(&si);
    info->wProcessorArchitecture = si.wProcessorArchitecture;
  }

  DWORD GetModuleFileNameW(HMODULE module, char16_t* buf, DWORD size) override {
    return ::GetModuleFileNameW(reinterpret_cast<::HMODULE>(module), W(buf), size);
  }

  HMODULE GetModuleHandleW(const char16_t* name) override {
    return reinterpret_cast<HMODULE>(::GetModuleHandleW(W(name)));
  }

  DWORD GetCurrentProcessId() override { return ::GetCurrentProcessId(); }

  BOOL CloseHandle(platform::HANDLE h) override {
    return ::CloseHandle(reinterpret_cast<::HANDLE>(h));
  }

  [[noreturn]] void ExitProcess(UINT code) override { ::ExitProcess(code); }

  void GetLocalTime(platform::SYSTEMTIME* st) override {
    ::SYSTEMTIME s;
    ::GetLocalTime(&s);
    if (st) *st = FromWin(s);
  }

  void GetSystemTime(platform::SYSTEMTIME* st) override {
    ::SYSTEMTIME s;
    ::GetSystemTime(&s);
    if (st) *st = FromWin(s);
  }

  DWORD GetTimeZoneInformation(platform::TIME_ZONE_INFORMATION* tz) override {
    ::TIME_ZONE_INFORMATION t{};
    const DWORD r = ::GetTimeZoneInformation(&t);
    if (r != TIME_ZONE_ID_INVALID && tz) *tz = FromWin(t);
    return r;
  }

  BOOL GetTimeZoneInformationForYear(WORD year, platform::TIME_ZONE_INFORMATION* tz) override {
    using Fn = ::BOOL(WINAPI*)(USHORT, PDYNAMIC_TIME_ZONE_INFORMATION, LPTIME_ZONE_INFORMATION);
    static const Fn fn = Kernel32Export<Fn>("GetTimeZoneInformationForYear");
    if (!fn) {
      ::SetLastError(ERROR_PROC_NOT_FOUND);
      return 0;
    }
    ::TIME_ZONE_INFORMATION t{};
    const ::BOOL ok = fn(year, nullptr, &t);
    if (ok && tz) *tz = FromWin(t);
    return ok;
  }

  BOOL SystemTimeToTzSpecificLocalTime(const platform::TIME_ZONE_INFORMATION* tz,
                                       const platform::SYSTEMTIME* utc,
                                       platform::SYSTEMTIME* local) override {
    return ConvertInZone(&::SystemTimeToTzSpecificLocalTime, tz, utc, local);
  }

  BOOL TzSpecificLocalTimeToSystemTime(const platform::TIME_ZONE_INFORMATION* tz,
                                       const platform::SYSTEMTIME* local,
                                       platform::SYSTEMTIME* utc) override {
    return ConvertInZone(&::TzSpecificLocalTimeToSystemTime, tz, local, utc);
  }

  BOOL SystemTimeToFileTime(const platform::SYSTEMTIME* st, platform::FILETIME* ft) override {
    if (!st || !ft) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    const ::SYSTEMTIME s = ToWin(*st);
    ::FILETIME f{};
    const ::BOOL ok = ::SystemTimeToFileTime(&s, &f);
    if (ok) *ft = FromWin(f);
    return ok;
  }

  BOOL FileTimeToSystemTime(const platform::FILETIME* ft, platform::SYSTEMTIME* st) override {
    if (!ft || !st) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    const ::FILETIME f = ToWin(*ft);
    ::SYSTEMTIME s{};
    const ::BOOL ok = ::FileTimeToSystemTime(&f, &s);
    if (ok) *st = FromWin(s);
    return ok;
  }

  BOOL LocalFileTimeToFileTime(const platform::FILETIME* local, platform::FILETIME* utc) override {
    return ConvertFileTime(::LocalFileTimeToFileTime, local, utc);
  }

  BOOL FileTimeToLocalFileTime(const platform::FILETIME* utc, platform::FILETIME* local) override {
    return ConvertFileTime(::FileTimeToLocalFileTime, utc, local);
  }

  DWORD timeGetTime() override { return ::timeGetTime(); }
  void Sleep(DWORD ms) override { ::Sleep(ms); }

  DWORD FormatMessageW(DWORD flags, DWORD message_id, DWORD language_id, char16_t* buf,
                       DWORD size) override {
    // Only system messages into the caller's buffer: the source and allocation flags, which
    // would change what the pointer arguments mean, are never passed on.
    constexpr DWORD kKept = FORMAT_MESSAGE_MAX_WIDTH_MASK;
    const DWORD f = (flags & kKept) | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    return ::FormatMessageW(f, nullptr, message_id, language_id, W(buf), size, nullptr);
  }

  void OutputDebugStringW(const char16_t* text) override { ::OutputDebugStringW(W(text)); }

  BOOL RtlGenRandom(void* buffer, DWORD length) override {
    return ::SystemFunction036(buffer, length) ? TRUE : FALSE;
  }

  UINT GetACP() override { return ::GetACP(); }
  UINT GetOEMCP() override { return ::GetOEMCP(); }

  int MultiByteToWideChar(UINT code_page, DWORD flags, const char* src, int src_len, char16_t* dst,
                          int dst_len) override {
    return ::MultiByteToWideChar(code_page, flags, src, src_len, W(dst), dst_len);
  }

  int WideCharToMultiByte(UINT code_page, DWORD flags, const char16_t* src, int src_len, char* dst,
                          int dst_len, const char* default_char, BOOL* used_default_char) override {
    ::BOOL used = FALSE;
    const int r = ::WideCharToMultiByte(code_page, flags, W(src), src_len, dst, dst_len,
                                        default_char, used_default_char ? &used : nullptr);
    if (used_default_char) *used_default_char = used;
    return r;
  }

  HMODULE LoadLibraryW(const char16_t* file) override {
    return reinterpret_cast<HMODULE>(::LoadLibraryW(W(file)));
  }

  std::uintptr_t GetProcAddress(HMODULE module, const char* name) override {
    return reinterpret_cast<std::uintptr_t>(
        reinterpret_cast<void*>(::GetProcAddress(reinterpret_cast<::HMODULE>(module), name)));
  }

  BOOL FreeLibrary(HMODULE module) override {
    return ::FreeLibrary(reinterpret_cast<::HMODULE>(module));
  }

  platform::HANDLE FindResourceW(HMODULE module, const char16_t* name,
                                 const char16_t* type) override {
    return reinterpret_cast<platform::HANDLE>(
        ::FindResourceW(reinterpret_cast<::HMODULE>(module), W(name), W(type)));
  }

  platform::HANDLE LoadResource(HMODULE module, platform::HANDLE res_info) override {
    return reinterpret_cast<platform::HANDLE>(
        ::LoadResource(reinterpret_cast<::HMODULE>(module), reinterpret_cast<::HRSRC>(res_info)));
  }

  DWORD SizeofResource(HMODULE module, platform::HANDLE res_info) override {
    return ::SizeofResource(reinterpret_cast<::HMODULE>(module),
                            reinterpret_cast<::HRSRC>(res_info));
  }

  const void* LockResource(platform::HANDLE res_data) override {
    return ::LockResource(reinterpret_cast<::HGLOBAL>(res_data));
  }

  BOOL GetComputerNameExW(int format, char16_t* buf, DWORD* size) override {
    if (!size) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    ::DWORD n = *size;
    const ::BOOL ok = ::GetComputerNameExW(static_cast<COMPUTER_NAME_FORMAT>(format), W(buf), &n);
    *size = n;
    return ok;
  }

  BOOL GetUserNameW(char16_t* buf, DWORD* size) override {
    if (!size) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    ::DWORD n = *size;
    const ::BOOL ok = ::GetUserNameW(W(buf), &n);
    *size = n;
    return ok;
  }

  DWORD GetEnvironmentVariableW(const char16_t* name, char16_t* buf, DWORD size) override {
    return ::GetEnvironmentVariableW(W(name), W(buf), size);
  }

  BOOL SetEnvironmentVariableW(const char16_t* name, const char16_t* value) override {
    return ::SetEnvironmentVariableW(W(name), W(value));
  }

  DWORD WNetGetConnectionW(const char16_t* local, char16_t* remote, DWORD* length) override {
    if (!length) return ERROR_INVALID_PARAMETER;
    ::DWORD n = *length;
    const DWORD r = ::WNetGetConnectionW(W(local), W(remote), &n);
    *length = n;
    return r;
  }

  int GetSystemMetrics(int index) override { return ::GetSystemMetrics(index); }

  platform::HWND GetDesktopWindow() override {
    return reinterpret_cast<platform::HWND>(::GetDesktopWindow());
  }

  DWORD GetFileVersionInfoSizeW(const char16_t* file, DWORD* handle) override {
    ::DWORD h = 0;
    const DWORD r = ::GetFileVersionInfoSizeW(W(file), &h);
    if (handle) *handle = h;
    return r;
  }

  BOOL GetFileVersionInfoW(const char16_t* file, DWORD handle, DWORD len, void* data) override {
    return ::GetFileVersionInfoW(W(file), handle, len, data);
  }

  BOOL VerQueryValueW(const void* block, const char16_t* sub_block, const void** buffer,
                      UINT* len) override {
    void* p = nullptr;
    ::UINT n = 0;
    const ::BOOL ok = ::VerQueryValueW(block, W(sub_block), &p, &n);
    if (ok) {
      if (buffer) *buffer = p;
      if (len) *len = n;
    }
    return ok;
  }

  // ---- Windows version ----------------------------------------------------------------------
  platform::LONG RtlGetVersion(platform::OSVERSIONINFOEXW* info) override {
    using Fn = LONG(WINAPI*)(PRTL_OSVERSIONINFOW);
    using ToDosError = ULONG(WINAPI*)(LONG);
    constexpr auto kSTATUS_UNSUCCESSFUL = static_cast<LONG>(0xC0000001u);
    constexpr auto kSTATUS_PROCEDURE_NOT_FOUND = static_cast<LONG>(0xC000007Au);
    static const Fn fn = NtdllExport<Fn>("RtlGetVersion");
    if (!fn) {
      ::SetLastError(ERROR_PROC_NOT_FOUND);
      return kSTATUS_PROCEDURE_NOT_FOUND;
    }
    if (!info) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return kSTATUS_UNSUCCESSFUL;
    }
    ::RTL_OSVERSIONINFOEXW v{};
    v.dwOSVersionInfoSize = sizeof(v);  // 284: the extended record
    const LONG status = fn(reinterpret_cast<PRTL_OSVERSIONINFOW>(&v));
    if (status != 0) {
      // RtlGetVersion leaves the last error alone; the caller logs the failure by it.
      static const ToDosError to_dos = NtdllExport<ToDosError>("RtlNtStatusToDosError");
      ::SetLastError(to_dos ? to_dos(status) : ERROR_GEN_FAILURE);
      return status;
    }
    info->dwMajorVersion = v.dwMajorVersion;
    info->dwMinorVersion = v.dwMinorVersion;
    info->dwBuildNumber = v.dwBuildNumber;
    info->dwPlatformId = v.dwPlatformId;
    info->szCSDVersion.assign(reinterpret_cast<const char16_t*>(v.szCSDVersion), 128);
    info->wServicePackMajor = v.wServicePackMajor;
    info->wServicePackMinor = v.wServicePackMinor;
    info->wSuiteMask = v.wSuiteMask;
    info->wProductType = v.wProductType;
    info->wReserved = v.wReserved;
    return 0;
  }

  BOOL GetVersionExA(platform::OSVERSIONINFOEXA* info) override {
    if (!info) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    ::OSVERSIONINFOEXA v{};
    v.dwOSVersionInfoSize = info->dwOSVersionInfoSize;
    if (v.dwOSVersionInfoSize > sizeof(v)) {
      ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    if (!::GetVersionExA(reinterpret_cast<::OSVERSIONINFOA*>(&v))) return 0;
    info->dwMajorVersion = v.dwMajorVersion;
    info->dwMinorVersion = v.dwMinorVersion;
    info->dwBuildNumber = v.dwBuildNumber;
    info->dwPlatformId = v.dwPlatformId;
    info->szCSDVersion.assign(v.szCSDVersion, 128);
    info->wServicePackMajor = v.wServicePackMajor;
    info->wServicePackMinor = v.wServicePackMinor;
    info->wSuiteMask = v.wSuiteMask;
    info->wProductType = v.wProductType;
    info->wReserved = v.wReserved;
    return 1;
  }

  BOOL GetProductInfo(DWORD major, DWORD minor, DWORD sp_major, DWORD sp_minor,
                      DWORD* product_type) override {
    using Fn = ::BOOL(WINAPI*)(::DWORD, ::DWORD, ::DWORD, ::DWORD, ::PDWORD);
    static const Fn fn = Kernel32Export<Fn>("GetProductInfo");
    if (!fn) {
      ::SetLastError(ERROR_PROC_NOT_FOUND);
      return 0;
    }
    if (!product_type) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    ::DWORD n = 0;
    const ::BOOL ok = fn(major, minor, sp_major, sp_minor, &n);
    if (ok) *product_type = n;
    return ok;
  }

  platform::LONG WmiQueryOperatingSystemSKU(DWORD* sku) override {
    return QueryOperatingSystemSKU(sku);
  }

  platform::LONG WmiQueryUserAccounts(std::vector<platform::WmiUserAccount>* accounts) override {
    return QueryUserAccounts(accounts);
  }

  bool InstallProcessorFaultTranslator() override { return InstallVectoredFaultTranslator(); }
  void RemoveProcessorFaultTranslator() override { RemoveVectoredFaultTranslator(); }

 private:
  template <class Fn>
  static BOOL ConvertInZone(Fn fn, const platform::TIME_ZONE_INFORMATION* tz,
                            const platform::SYSTEMTIME* in, platform::SYSTEMTIME* out) {
    if (!in || !out) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    ::TIME_ZONE_INFORMATION t{};
    if (tz) t = ToWin(*tz);
    const ::SYSTEMTIME a = ToWin(*in);
    ::SYSTEMTIME b{};
    const ::BOOL ok = fn(tz ? &t : nullptr, &a, &b);
    if (ok) *out = FromWin(b);
    return ok;
  }

  template <class Fn>
  static BOOL ConvertFileTime(Fn fn, const platform::FILETIME* in, platform::FILETIME* out) {
    if (!in || !out) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    const ::FILETIME a = ToWin(*in);
    ::FILETIME b{};
    const ::BOOL ok = fn(&a, &b);
    if (ok) *out = FromWin(b);
    return ok;
  }
};

}  // namespace

std::unique_ptr<platform::SystemApi> MakeWin32System() {
  return std::make_unique<Win32SystemApi>();
}

}  // namespace kes::win32
