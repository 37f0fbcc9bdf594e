// System information, names, time, messages, modules and process basics.
// Each call has the meaning, return value and last-error behaviour of the Windows call of the
// same name; buffers are caller-owned and sized in characters, as in Windows.
#pragma once

#include <vector>

#include "platform/types.h"

namespace kes::platform {

// OSVERSIONINFOEXA as GetVersionExA fills it; the service-pack text is in the ANSI code page and
// keeps all 128 characters of its buffer (cut it at the first NUL). dwOSVersionInfoSize selects
// the form, as in Windows: 156 for this extended record, 148 for the basic one.
struct OSVERSIONINFOEXA {
  DWORD dwOSVersionInfoSize = 156;
  DWORD dwMajorVersion = 0;
  DWORD dwMinorVersion = 0;
  DWORD dwBuildNumber = 0;
  DWORD dwPlatformId = 0;
  std::string szCSDVersion;
  WORD wServicePackMajor = 0;
  WORD wServicePackMinor = 0;
  WORD wSuiteMask = 0;
  std::uint8_t wProductType = 0;
  std::uint8_t wReserved = 0;
};

// One account of WMI's Win32_UserAccount class, with the properties the user list reads.
struct WmiUserAccount {
  std::u16string Name;
  DWORD SIDType = 1;        // 1: a user (SidTypeUser)
  DWORD AccountType = 512;  // 512: a normal account (UF_NORMAL_ACCOUNT)
  BOOL Disabled = 0;
  std::u16string Status;  // "OK", "Degraded", "Error"...
};

class SystemApi {
 public:
  virtual ~SystemApi() = default;

  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD code) = 0;

  // The whole process command line.
  virtual std::u16string GetCommandLineW() = 0;
  // The text after the first (possibly quoted) token and the blanks behind it.
  virtual std::u16string PathGetArgsW(const char16_t* cmdline) = 0;
  // Characters copied without the NUL; on truncation returns size and sets 122.
  virtual DWORD GetModuleFileNameW(HMODULE module, char16_t* buf, DWORD size) = 0;
  virtual HMODULE GetModuleHandleW(const char16_t* name) = 0;
  virtual DWORD GetCurrentProcessId() = 0;
  // *wow64 TRUE when `process` is a 32-bit process on 64-bit Windows. Windows without the
  // entry point: FALSE and 127 (callers probe for it first).
  virtual BOOL IsWow64Process(HANDLE process, BOOL* wow64) = 0;
  // The architecture the calling process runs as (a WOW64 process sees INTEL).
  virtual void GetSystemInfo(SYSTEM_INFO* info) = 0;
  // Closes any kernel handle (file, process, search...); FALSE and 6 for an unknown one.
  virtual BOOL CloseHandle(HANDLE h) = 0;
  // Ends the process; never returns.
  [[noreturn]] virtual void ExitProcess(UINT code) = 0;

  virtual void GetLocalTime(SYSTEMTIME* st) = 0;
  virtual void GetSystemTime(SYSTEMTIME* st) = 0;
  // Returns 0 (unknown), 1 (standard) or 2 (daylight); 0xFFFFFFFF on failure.
  virtual DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* tz) = 0;
  virtual BOOL GetTimeZoneInformationForYear(WORD year, TIME_ZONE_INFORMATION* tz) = 0;
  // Both apply the zone's daylight-saving dates to the year of the time they are given (a null
  // `tz`: the machine's zone); FALSE and 87 for a time out of range.
  virtual BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* tz,
                                               const SYSTEMTIME* utc, SYSTEMTIME* local) = 0;
  virtual BOOL TzSpecificLocalTimeToSystemTime(const TIME_ZONE_INFORMATION* tz,
                                               const SYSTEMTIME* local, SYSTEMTIME* utc) = 0;
  virtual BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* ft) = 0;
  virtual BOOL FileTimeToSystemTime(const FILETIME* ft, SYSTEMTIME* st) = 0;
  // Both shift by the bias in effect now (daylight saving time included), whatever the date.
  virtual BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc) = 0;
  virtual BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) = 0;
  // Milliseconds since the system started (timeGetTime / GetTickCount).
  virtual DWORD timeGetTime() = 0;
  virtual void Sleep(DWORD ms) = 0;

  // Only the FROM_SYSTEM form is used; returns characters written, 0 on failure.
  virtual DWORD FormatMessageW(DWORD flags, DWORD message_id, DWORD language_id, char16_t* buf,
                               DWORD size) = 0;
  virtual void OutputDebugStringW(const char16_t* text) = 0;
  // Fills `buffer` with `length` bytes from the system's cryptographic random source
  // (RtlGenRandom, exported by advapi32 as SystemFunction036 since XP). FALSE when it could not;
  // it sets no last error.
  virtual BOOL RtlGenRandom(void* buffer, DWORD length) = 0;

  // Code pages: 0 = CP_ACP, 65001 = UTF-8, 936, 1252, 437... Return values and
  // the size-query form (dst size 0) as in Windows; 122 when the buffer is too small.
  virtual UINT GetACP() = 0;
  // The OEM code page: what console programs, cmd.exe and its batch files read and write.
  virtual UINT GetOEMCP() = 0;
  virtual int MultiByteToWideChar(UINT code_page, DWORD flags, const char* src, int src_len,
                                  char16_t* dst, int dst_len) = 0;
  virtual int WideCharToMultiByte(UINT code_page, DWORD flags, const char16_t* src, int src_len,
                                  char* dst, int dst_len, const char* default_char,
                                  BOOL* used_default_char) = 0;

  virtual HMODULE LoadLibraryW(const char16_t* file) = 0;
  // Non-zero when the module exports the entry point.
  virtual std::uintptr_t GetProcAddress(HMODULE module, const char* name) = 0;
  virtual BOOL FreeLibrary(HMODULE module) = 0;

  // The program's own resources. FindResourceW: handle of the resource `name` of type `type`
  // (names and types compare without regard to case; module 0 = the exe), 0 and 1813/1814 when
  // the type/name is absent. LoadResource: non-zero handle for a found resource, 0 on failure.
  // SizeofResource: size in bytes, 0 on failure. LockResource: the first byte, null on failure.
  virtual HANDLE FindResourceW(HMODULE module, const char16_t* name, const char16_t* type) = 0;
  virtual HANDLE LoadResource(HMODULE module, HANDLE res_info) = 0;
  virtual DWORD SizeofResource(HMODULE module, HANDLE res_info) = 0;
  virtual const void* LockResource(HANDLE res_data) = 0;

  // On ERROR_MORE_DATA *size receives the needed size including the NUL.
  virtual BOOL GetComputerNameExW(int format, char16_t* buf, DWORD* size) = 0;
  // *size in and out includes the NUL; 122 when too small.
  virtual BOOL GetUserNameW(char16_t* buf, DWORD* size) = 0;
  // Length without NUL; when too small the needed size with NUL; 0 and 203 when absent.
  virtual DWORD GetEnvironmentVariableW(const char16_t* name, char16_t* buf, DWORD size) = 0;
  virtual BOOL SetEnvironmentVariableW(const char16_t* name, const char16_t* value) = 0;
  // 0 on success; 2250 when the drive is not a network connection; 234 when too small.
  virtual DWORD WNetGetConnectionW(const char16_t* local, char16_t* remote, DWORD* length) = 0;
  virtual int GetSystemMetrics(int index) = 0;
  virtual HWND GetDesktopWindow() = 0;

  // Version resource of a file. The block is opaque to callers: only VerQueryValueW reads it.
  virtual DWORD GetFileVersionInfoSizeW(const char16_t* file, DWORD* handle) = 0;
  virtual BOOL GetFileVersionInfoW(const char16_t* file, DWORD handle, DWORD len, void* data) = 0;
  virtual BOOL VerQueryValueW(const void* block, const char16_t* sub_block, const void** buffer,
                              UINT* len) = 0;

  // ---- Windows version ---------------------------------------------------------------------
  // ntdll's RtlGetVersion: fills the extended record and returns an NTSTATUS, 0 on success. The
  // service-pack text keeps its whole 128-character buffer (cut it at the first NUL). Where ntdll
  // lacks the entry point (Windows 9x, NT 4) the result is STATUS_PROCEDURE_NOT_FOUND; on any
  // failure the last error holds the matching Windows error code (127 for a missing entry).
  virtual LONG RtlGetVersion(OSVERSIONINFOEXW* info) = 0;
  // TRUE with the record filled; FALSE and 122 when dwOSVersionInfoSize is neither 156 nor 148.
  virtual BOOL GetVersionExA(OSVERSIONINFOEXA* info) = 0;
  // TRUE with the product number (PRODUCT_ULTIMATE 0x01, PRODUCT_PROFESSIONAL 0x30...) in
  // *product_type; FALSE and 127 where kernel32 lacks the entry point (before Vista).
  virtual BOOL GetProductInfo(DWORD major, DWORD minor, DWORD sp_major, DWORD sp_minor,
                              DWORD* product_type) = 0;
  // WMI through the "winmgmts:" moniker: "OperatingSystemSKU" of every Win32_OperatingSystem
  // instance, the last one winning (0 when there is none). Returns S_OK (0) or the failing
  // HRESULT of the binding or the enumeration, which is then also the last error.
  virtual LONG WmiQueryOperatingSystemSKU(DWORD* sku) = 0;
  // WMI: every instance of Win32_UserAccount ("Select * from Win32_UserAccount", forward only),
  // in the order WMI lists them, replacing *accounts. S_OK (0) or the failing HRESULT (also the
  // last error), *accounts then left empty; a namespace without the class fails with
  // WBEM_E_INVALID_CLASS (0x80041010).
  virtual LONG WmiQueryUserAccounts(std::vector<WmiUserAccount>* accounts) = 0;

  // Turns processor faults (access violation, integer division by zero...) raised on this
  // thread into a C++ ProcessorFault thrown at the faulting instruction (see fault.h).
  // Returns false when the mechanism is not available.
  virtual bool InstallProcessorFaultTranslator() = 0;
  virtual void RemoveProcessorFaultTranslator() = 0;
};

}  // namespace kes::platform
