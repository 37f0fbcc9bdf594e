// Tokens, privileges, accounts and groups (advapi32, shell32, netapi32).
// Each call has the meaning, return value and last-error behaviour of the Windows call of the
// same name. The records keep Windows' layout (the real backend hands them to Windows as they
// are), and the network-management calls return their status instead of setting the last error.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace kes::platform {

// GetCurrentProcess(): the pseudo-handle that names the calling process.
inline constexpr HANDLE kCurrentProcess = static_cast<HANDLE>(-1);

// Token access rights (winnt.h).
enum : DWORD {
  kTOKEN_QUERY = 0x8,
  kTOKEN_ADJUST_PRIVILEGES = 0x20,
};

// Privilege attributes (winnt.h).
enum : DWORD {
  kSE_PRIVILEGE_ENABLED_BY_DEFAULT = 0x1,
  kSE_PRIVILEGE_ENABLED = 0x2,
  kSE_PRIVILEGE_REMOVED = 0x4,
};

// Errors of the token and account calls (winerror.h, lmerr.h) beyond those of types.h.
enum : DWORD {
  kERROR_NO_IMPERSONATION_TOKEN = 1309,
  kERROR_NO_SUCH_PRIVILEGE = 1313,
  kRPC_S_SERVER_UNAVAILABLE = 1722,
  kNERR_Success = 0,
};

// Well-known identifiers of the built-in groups (winnt.h).
enum : DWORD {
  kSECURITY_LOCAL_SYSTEM_RID = 18,
  kSECURITY_BUILTIN_DOMAIN_RID = 0x20,
  kDOMAIN_ALIAS_RID_ADMINS = 0x220,
  kDOMAIN_ALIAS_RID_USERS = 0x221,
  kDOMAIN_ALIAS_RID_GUESTS = 0x222,
};

// Account privilege levels of USER_INFO_1 (lmaccess.h).
enum : DWORD {
  kUSER_PRIV_GUEST = 0,
  kUSER_PRIV_USER = 1,
  kUSER_PRIV_ADMIN = 2,
};

// USER_INFO_1 flags (lmaccess.h).
enum : DWORD {
  kUF_SCRIPT = 0x1,
  kUF_ACCOUNTDISABLE = 0x2,
  kUF_PASSWD_NOTREQD = 0x20,
  kUF_NORMAL_ACCOUNT = 0x200,
  kUF_DONT_EXPIRE_PASSWD = 0x10000,
};

// A locally unique identifier: the number a system gives one privilege name.
struct LUID {
  DWORD LowPart = 0;
  LONG HighPart = 0;
};

struct LUID_AND_ATTRIBUTES {
  LUID Luid;
  DWORD Attributes = 0;
};

// TOKEN_PRIVILEGES with room for 100 entries: Windows declares one and reads PrivilegeCount of
// them; 4 + 100 x 12 = 1204 bytes, the length the privilege code hands to the system.
inline constexpr DWORD kTokenPrivilegesCapacity = 100;
struct TOKEN_PRIVILEGES {
  DWORD PrivilegeCount = 0;
  LUID_AND_ATTRIBUTES Privileges[kTokenPrivilegesCapacity];
};
static_assert(sizeof(LUID_AND_ATTRIBUTES) == 12);
static_assert(sizeof(TOKEN_PRIVILEGES) == 1204);

// A security identifier is opaque: made by AllocateAndInitializeSid, released by FreeSid.
using PSID = void*;

struct SID_IDENTIFIER_AUTHORITY {
  std::uint8_t Value[6] = {0, 0, 0, 0, 0, 0};
};
// SECURITY_NT_AUTHORITY {0,0,0,0,0,5}.
inline constexpr SID_IDENTIFIER_AUTHORITY kSECURITY_NT_AUTHORITY = {{0, 0, 0, 0, 0, 5}};

// USER_INFO_1 and USER_INFO_24 as NetUserGetInfo returns them (lmaccess.h layout: texts are
// UTF-16 pointers into the same buffer, which NetApiBufferFree releases).
struct USER_INFO_1 {
  char16_t* usri1_name;
  char16_t* usri1_password;  // always null when read
  DWORD usri1_password_age;
  DWORD usri1_priv;  // kUSER_PRIV_*
  char16_t* usri1_home_dir;
  char16_t* usri1_comment;
  DWORD usri1_flags;  // kUF_*
  char16_t* usri1_script_path;
};

struct USER_INFO_24 {
  BOOL usri24_internet_identity;  // non-zero: the account is connected to an Internet identity
  DWORD usri24_flags;
  char16_t* usri24_internet_provider_name;   // "MicrosoftAccount"
  char16_t* usri24_internet_principal_name;  // the sign-in name, "someone@outlook.com"
  PSID usri24_user_sid;
};

class SecurityApi {
 public:
  virtual ~SecurityApi() = default;

  // Opens the access token of `process` (kCurrentProcess for the calling one). TRUE and a
  // handle the caller closes with CloseHandle; FALSE with 6 for a handle that names no process,
  // 5 when the access is refused.
  virtual BOOL OpenProcessToken(HANDLE process, DWORD desired_access, HANDLE* token) = 0;

  // The LUID of a privilege name ("SeShutdownPrivilege"; letter case ignored) on `system_name`
  // (null or "" = this computer). TRUE with *luid set; FALSE with 1313 for a name the system
  // does not know, 1722 for another computer that cannot be reached.
  virtual BOOL LookupPrivilegeValueA(const char* system_name, const char* name, LUID* luid) = 0;

  // Enables (SE_PRIVILEGE_ENABLED) or disables (0) the privileges of `new_state` in the token
  // (or all of them with `disable_all`). TRUE when the call ran: then the last error is 0 when
  // every privilege was adjusted and 1300 (ERROR_NOT_ALL_ASSIGNED) when the token lacks one of
  // them, the others being adjusted. `previous_state` (may be null) receives the former state of
  // what changed when `buffer_length` bytes are enough (else FALSE and 122, *return_length the
  // bytes needed). FALSE with 6 for a handle that is not a token, 5 without
  // TOKEN_ADJUST_PRIVILEGES access, 87 for a missing or oversized request.
  virtual BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all,
                                     const TOKEN_PRIVILEGES* new_state, DWORD buffer_length,
                                     TOKEN_PRIVILEGES* previous_state, DWORD* return_length) = 0;

  // Builds a SID of `authority` with the first `count` (1 to 8) sub-authorities. TRUE and *sid
  // (released with FreeSid); FALSE with 87 for a count outside 1-8.
  virtual BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority,
                                        std::uint8_t count, DWORD sub0, DWORD sub1, DWORD sub2,
                                        DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7,
                                        PSID* sid) = 0;
  // Releases a SID of AllocateAndInitializeSid; returns null on success, else the SID.
  virtual PSID FreeSid(PSID sid) = 0;

  // Whether the SID is enabled in `token` (0 = the calling thread's token: the process token
  // when the thread does not impersonate). A group that a filtered (non-elevated) token holds
  // only for deny counts as not enabled. TRUE with *is_member set; FALSE with 1309 for a
  // primary token such as OpenProcessToken's, 87 for a missing SID, 127 where the system has no
  // such entry point.
  virtual BOOL CheckTokenMembership(HANDLE token, PSID sid, BOOL* is_member) = 0;

  // shell32's test: TRUE when the process token has the Administrators group enabled (an
  // elevated administrator, or the system account); FALSE otherwise. Sets no last error.
  virtual BOOL IsUserAnAdmin() = 0;

  // One local account's record of `level` 1 (USER_INFO_1) or 24 (USER_INFO_24, Windows 8 and
  // later). `server_name` null or "" is this computer. Returns 0 (NERR_Success) with *buffer
  // set, to be released with NetApiBufferFree; otherwise the error and *buffer null: 2221
  // (NERR_UserNotFound), 124 for a level the system does not have, 87 for a missing name, 53
  // for another computer. The last error is not changed.
  virtual DWORD NetUserGetInfo(const char16_t* server_name, const char16_t* user_name, DWORD level,
                               std::uint8_t** buffer) = 0;
  // Releases a buffer of the network-management calls. 0 on success; 87 for one it never gave.
  virtual DWORD NetApiBufferFree(void* buffer) = 0;
};

}  // namespace kes::platform
