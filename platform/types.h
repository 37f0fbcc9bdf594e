// Win32-shaped types and constants shared by the platform interface and the code above it.
// Nothing here includes <windows.h>: the numbers are Windows' own, so that codes logged by the
// simulated machine and by the real one read the same.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kes::platform {

using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = std::uint32_t;
using WORD = std::uint16_t;
using BOOL = int;
using HANDLE = std::uintptr_t;  // opaque; 0 = null handle
using HKEY = std::uintptr_t;    // opaque registry key handle
using HMODULE = std::uintptr_t;
using HWND = std::uintptr_t;

inline constexpr HANDLE kInvalidHandle = static_cast<HANDLE>(-1);  // INVALID_HANDLE_VALUE

// Predefined registry roots, with Windows' numeric values.
inline constexpr HKEY kHKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY kHKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY kHKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY kHKEY_USERS = 0x80000003u;
inline constexpr HKEY kHKEY_CURRENT_CONFIG = 0x80000005u;

// Error codes used across the system (winerror.h values).
enum : DWORD {
  kERROR_SUCCESS = 0,
  kERROR_INVALID_FUNCTION = 1,
  kERROR_FILE_NOT_FOUND = 2,
  kERROR_PATH_NOT_FOUND = 3,
  kERROR_ACCESS_DENIED = 5,
  kERROR_INVALID_HANDLE = 6,
  kERROR_NOT_ENOUGH_MEMORY = 8,
  kERROR_INVALID_DATA = 13,
  kERROR_SHARING_VIOLATION = 32,
  kERROR_NOT_SUPPORTED = 50,
  kERROR_FILE_EXISTS = 80,
  kERROR_INVALID_PARAMETER = 87,
  kERROR_INSUFFICIENT_BUFFER = 122,
  kERROR_INVALID_LEVEL = 124,
  kERROR_MOD_NOT_FOUND = 126,
  kERROR_PROC_NOT_FOUND = 127,
  kERROR_ALREADY_EXISTS = 183,
  kERROR_ENVVAR_NOT_FOUND = 203,
  kERROR_MORE_DATA = 234,
  kERROR_NO_MORE_ITEMS = 259,
  kSTILL_ACTIVE = 259,
  kERROR_NOT_ALL_ASSIGNED = 1300,
  kERROR_PRIVILEGE_NOT_HELD = 1314,
  kERROR_NONE_MAPPED = 1332,
  kERROR_NOT_CONNECTED = 2250,
  kNERR_UserNotFound = 2221,
  kERROR_MR_MID_NOT_FOUND = 317,
};

struct SYSTEMTIME {
  WORD wYear = 0;
  WORD wMonth = 0;
  WORD wDayOfWeek = 0;
  WORD wDay = 0;
  WORD wHour = 0;
  WORD wMinute = 0;
  WORD wSecond = 0;
  WORD wMilliseconds = 0;
};

struct FILETIME {
  DWORD dwLowDateTime = 0;
  DWORD dwHighDateTime = 0;
};

struct WIN32_FILE_ATTRIBUTE_DATA {
  DWORD dwFileAttributes = 0;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh = 0;
  DWORD nFileSizeLow = 0;
};

struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes = 0;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh = 0;
  DWORD nFileSizeLow = 0;
  std::u16string cFileName;
  std::u16string cAlternateFileName;
};

// File attributes, access, sharing and creation dispositions (winnt.h / fileapi.h values).
enum : DWORD {
  kFILE_ATTRIBUTE_READONLY = 0x1,
  kFILE_ATTRIBUTE_HIDDEN = 0x2,
  kFILE_ATTRIBUTE_SYSTEM = 0x4,
  kFILE_ATTRIBUTE_DIRECTORY = 0x10,
  kFILE_ATTRIBUTE_ARCHIVE = 0x20,
  kFILE_ATTRIBUTE_NORMAL = 0x80,
  kINVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu,
  kGENERIC_READ = 0x80000000u,
  kGENERIC_WRITE = 0x40000000u,
  kFILE_APPEND_DATA = 0x4,
  kFILE_SHARE_READ = 0x1,
  kFILE_SHARE_WRITE = 0x2,
  kFILE_SHARE_DELETE = 0x4,
  kCREATE_NEW = 1,
  kCREATE_ALWAYS = 2,
  kOPEN_EXISTING = 3,
  kOPEN_ALWAYS = 4,
  kTRUNCATE_EXISTING = 5,
  kFILE_BEGIN = 0,
  kFILE_CURRENT = 1,
  kFILE_END = 2,
};

// TIME_ZONE_INFORMATION reduced to what the conversions read; names are Windows' own.
struct TIME_ZONE_INFORMATION {
  LONG Bias = 0;  // minutes, UTC = local + Bias
  std::u16string StandardName;
  SYSTEMTIME StandardDate;
  LONG StandardBias = 0;
  std::u16string DaylightName;
  SYSTEMTIME DaylightDate;
  LONG DaylightBias = 0;
};

// RTL_OSVERSIONINFOEXW as the version detection reads it.
struct OSVERSIONINFOEXW {
  DWORD dwMajorVersion = 0;
  DWORD dwMinorVersion = 0;
  DWORD dwBuildNumber = 0;
  DWORD dwPlatformId = 0;
  std::u16string szCSDVersion;
  WORD wServicePackMajor = 0;
  WORD wServicePackMinor = 0;
  WORD wSuiteMask = 0;
  std::uint8_t wProductType = 0;
  std::uint8_t wReserved = 0;
};

// Message box styles and answers (the subset the program uses).
enum : UINT {
  kMB_OK = 0x0,
  kMB_YESNOCANCEL = 0x3,
  kMB_YESNO = 0x4,
  kMB_ICONERROR = 0x10,
  kMB_ICONQUESTION = 0x20,
};
enum : int { kIDOK = 1, kIDCANCEL = 2, kIDYES = 6, kIDNO = 7 };

// GetSystemMetrics indexes used by the system.
enum : int {
  kSM_CLEANBOOT = 67,
  kSM_TABLETPC = 86,
  kSM_MEDIACENTER = 87,
  kSM_STARTER = 88,
  kSM_SERVERR2 = 89,
  kSM_CYMENU = 15,
};

// GetComputerNameExW formats.
enum ComputerNameFormat : int {
  ComputerNameNetBIOS = 0,
  ComputerNameDnsHostname = 1,
  ComputerNameDnsDomain = 2,
  ComputerNameDnsFullyQualified = 3,
  ComputerNamePhysicalNetBIOS = 4,
  ComputerNamePhysicalDnsHostname = 5,
  ComputerNamePhysicalDnsDomain = 6,
  ComputerNamePhysicalDnsFullyQualified = 7,
};

inline constexpr DWORD kFORMAT_MESSAGE_FROM_SYSTEM = 0x1000;
inline constexpr DWORD kFORMAT_MESSAGE_IGNORE_INSERTS = 0x200;
inline constexpr DWORD kFORMAT_MESSAGE_MAX_WIDTH_MASK = 0xFF;

}  // namespace kes::platform
