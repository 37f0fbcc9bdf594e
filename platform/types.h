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
inline constexpr HKEY kHKEY_PERFORMANCE_DATA = 0x80000004u;
inline constexpr HKEY kHKEY_CURRENT_CONFIG = 0x80000005u;
inline constexpr HKEY kHKEY_DYN_DATA = 0x80000006u;
inline constexpr HKEY kHKEY_CURRENT_USER_LOCAL_SETTINGS = 0x80000007u;

// Registry value types (winnt.h).
enum : DWORD {
  kREG_NONE = 0,
  kREG_SZ = 1,
  kREG_EXPAND_SZ = 2,
  kREG_BINARY = 3,
  kREG_DWORD = 4,
  kREG_MULTI_SZ = 7,
  kREG_QWORD = 11,
};

// Registry access rights, view flags, open/create options and dispositions (winnt.h, winreg.h).
enum : DWORD {
  kKEY_QUERY_VALUE = 0x1,
  kKEY_SET_VALUE = 0x2,
  kKEY_CREATE_SUB_KEY = 0x4,
  kKEY_ENUMERATE_SUB_KEYS = 0x8,
  kKEY_NOTIFY = 0x10,
  kKEY_CREATE_LINK = 0x20,
  kKEY_WOW64_64KEY = 0x100,
  kKEY_WOW64_32KEY = 0x200,
  kKEY_DELETE = 0x10000,  // DELETE
  kKEY_READ_CONTROL = 0x20000,
  kKEY_WRITE_DAC = 0x40000,
  kKEY_WRITE_OWNER = 0x80000,
  kKEY_READ = 0x20019,
  kKEY_WRITE = 0x20006,
  kKEY_ALL_ACCESS = 0xF003F,
  kREG_OPTION_NON_VOLATILE = 0x0,
  kREG_OPTION_VOLATILE = 0x1,
  kREG_OPTION_OPEN_LINK = 0x8,
  kREG_CREATED_NEW_KEY = 1,
  kREG_OPENED_EXISTING_KEY = 2,
};

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
  kERROR_BAD_PATHNAME = 161,
  kERROR_ALREADY_EXISTS = 183,
  kERROR_ENVVAR_NOT_FOUND = 203,
  kERROR_MORE_DATA = 234,
  kERROR_NO_MORE_ITEMS = 259,
  kSTILL_ACTIVE = 259,
  kERROR_KEY_DELETED = 1018,
  kERROR_NOT_ALL_ASSIGNED = 1300,
  kERROR_PRIVILEGE_NOT_HELD = 1314,
  kERROR_NONE_MAPPED = 1332,
  kERROR_NOT_CONNECTED = 2250,
  kNERR_UserNotFound = 2221,
  kERROR_MR_MID_NOT_FOUND = 317,
  kERROR_NO_UNICODE_TRANSLATION = 1113,
  kERROR_BAD_DEVICE = 1200,
  kERROR_RESOURCE_TYPE_NOT_FOUND = 1813,
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

// What a new object is made with (minwinbase.h layout): `lpSecurityDescriptor` null gives the
// default security of its place.
struct SECURITY_ATTRIBUTES {
  DWORD nLength = sizeof(SECURITY_ATTRIBUTES);
  void* lpSecurityDescriptor = nullptr;
  BOOL bInheritHandle = 0;
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

// File-system errors, flags and codes beyond the common ones above (winerror.h, fileapi.h,
// winbase.h, shellapi.h values).
inline constexpr DWORD kERROR_NOT_SAME_DEVICE = 17;
inline constexpr DWORD kERROR_NO_MORE_FILES = 18;
inline constexpr DWORD kERROR_WRITE_PROTECT = 19;
inline constexpr DWORD kERROR_NOT_READY = 21;
inline constexpr DWORD kERROR_BAD_LENGTH = 24;
inline constexpr DWORD kERROR_BAD_NETPATH = 53;
inline constexpr DWORD kERROR_BAD_NET_NAME = 67;
inline constexpr DWORD kERROR_INVALID_NAME = 123;
inline constexpr DWORD kERROR_NEGATIVE_SEEK = 131;
inline constexpr DWORD kERROR_DIR_NOT_ROOT = 144;
inline constexpr DWORD kERROR_DIR_NOT_EMPTY = 145;
inline constexpr DWORD kERROR_DIRECTORY = 267;
inline constexpr DWORD kERROR_IO_INCOMPLETE = 996;
inline constexpr DWORD kERROR_IO_PENDING = 997;
inline constexpr DWORD kFILE_READ_DATA = 0x1;
inline constexpr DWORD kFILE_WRITE_DATA = 0x2;
inline constexpr DWORD kFILE_READ_ATTRIBUTES = 0x80;
inline constexpr DWORD kFILE_WRITE_ATTRIBUTES = 0x100;
inline constexpr DWORD kDELETE = 0x10000;
inline constexpr DWORD kGENERIC_ALL = 0x10000000u;
inline constexpr DWORD kGENERIC_EXECUTE = 0x20000000u;
inline constexpr DWORD kFILE_ATTRIBUTE_TEMPORARY = 0x100;
// A junction or symbolic link: the object stands for another place.
inline constexpr DWORD kFILE_ATTRIBUTE_REPARSE_POINT = 0x400;
inline constexpr DWORD kFILE_ATTRIBUTE_OFFLINE = 0x1000;
inline constexpr DWORD kFILE_ATTRIBUTE_NOT_CONTENT_INDEXED = 0x2000;
inline constexpr DWORD kFILE_FLAG_BACKUP_SEMANTICS = 0x02000000u;
inline constexpr DWORD kFILE_FLAG_OVERLAPPED = 0x40000000u;
inline constexpr DWORD kMOVEFILE_REPLACE_EXISTING = 0x1;
inline constexpr DWORD kMOVEFILE_COPY_ALLOWED = 0x2;
inline constexpr DWORD kMOVEFILE_DELAY_UNTIL_REBOOT = 0x4;
inline constexpr DWORD kDRIVE_UNKNOWN = 0;
inline constexpr DWORD kDRIVE_NO_ROOT_DIR = 1;
inline constexpr DWORD kDRIVE_REMOVABLE = 2;
inline constexpr DWORD kDRIVE_FIXED = 3;
inline constexpr DWORD kDRIVE_REMOTE = 4;
inline constexpr DWORD kDRIVE_CDROM = 5;
inline constexpr DWORD kDRIVE_RAMDISK = 6;
inline constexpr DWORD kMAX_PATH = 260;

// SHFileOperationW function codes and flags; SHGetFolderPathW folder flags and answers.
inline constexpr UINT kFO_MOVE = 1;
inline constexpr UINT kFO_COPY = 2;
inline constexpr UINT kFO_DELETE = 3;
inline constexpr UINT kFO_RENAME = 4;
inline constexpr UINT kFOF_MULTIDESTFILES = 0x1;
inline constexpr UINT kFOF_SILENT = 0x4;
inline constexpr UINT kFOF_RENAMEONCOLLISION = 0x8;
inline constexpr UINT kFOF_NOCONFIRMATION = 0x10;
inline constexpr UINT kFOF_ALLOWUNDO = 0x40;
inline constexpr UINT kFOF_FILESONLY = 0x80;
inline constexpr UINT kFOF_NOCONFIRMMKDIR = 0x200;
inline constexpr UINT kFOF_NOERRORUI = 0x400;
inline constexpr UINT kCSIDL_FLAG_DONT_VERIFY = 0x4000;
inline constexpr UINT kCSIDL_FLAG_CREATE = 0x8000;
inline constexpr UINT kCSIDL_FLAG_MASK = 0xFF00;
inline constexpr LONG kS_OK = 0;
inline constexpr LONG kE_FAIL = static_cast<LONG>(0x80004005u);
inline constexpr LONG kE_INVALIDARG = static_cast<LONG>(0x80070057u);
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND): a special folder that does not exist.
inline constexpr LONG kHRESULT_FILE_NOT_FOUND = static_cast<LONG>(0x80070002u);

// SYSTEM_INFO reduced to the processor architecture of the calling process
// (PROCESSOR_ARCHITECTURE_INTEL 0, AMD64 9, ARM64 12).
struct SYSTEM_INFO {
  WORD wProcessorArchitecture = 0;
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

// VS_FIXEDFILEINFO as VerQueryValueW returns it for "\\" (same layout as Windows').
struct VS_FIXEDFILEINFO {
  DWORD dwSignature = 0;  // 0xFEEF04BD
  DWORD dwStrucVersion = 0;
  DWORD dwFileVersionMS = 0;  // major << 16 | minor
  DWORD dwFileVersionLS = 0;  // build << 16 | revision
  DWORD dwProductVersionMS = 0;
  DWORD dwProductVersionLS = 0;
  DWORD dwFileFlagsMask = 0;
  DWORD dwFileFlags = 0;
  DWORD dwFileOS = 0;
  DWORD dwFileType = 0;
  DWORD dwFileSubtype = 0;
  DWORD dwFileDateMS = 0;
  DWORD dwFileDateLS = 0;
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
