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

// ---- security descriptors and access-control lists (winnt.h) ----------------------------------
// A security descriptor names an object's owner and holds its discretionary access-control list
// (DACL): access-control entries (ACEs) in order, each allowing or denying an access mask to one
// SID, explicit ones first and those inherited from the parent (INHERITED_ACE) after them. The
// records below are binary, as Windows lays them out: an ACL is an 8-byte header followed by its
// ACEs, an ACE a 4-byte header, the mask and the SID.
using PACL = void*;
using PSECURITY_DESCRIPTOR = void*;
using SID_NAME_USE = int;  // SidTypeUser 1, SidTypeGroup 2, SidTypeDomain 3, SidTypeAlias 4...

enum : DWORD {
  kOWNER_SECURITY_INFORMATION = 0x1,
  kGROUP_SECURITY_INFORMATION = 0x2,
  kDACL_SECURITY_INFORMATION = 0x4,
  kSECURITY_DESCRIPTOR_REVISION = 1,
  kACL_REVISION = 2,
  kAclSizeInformation = 2,  // ACL_INFORMATION_CLASS of GetAclInformation
  kMAXDWORD = 0xFFFFFFFFu,
};
// Security descriptor control bits.
enum : WORD {
  kSE_DACL_PRESENT = 0x4,
  kSE_DACL_AUTO_INHERITED = 0x400,
  kSE_DACL_PROTECTED = 0x1000,
  kSE_SELF_RELATIVE = 0x8000,
};
// ACE types and flags.
enum : std::uint8_t {
  kACCESS_ALLOWED_ACE_TYPE = 0,
  kACCESS_DENIED_ACE_TYPE = 1,
  kOBJECT_INHERIT_ACE = 0x1,
  kCONTAINER_INHERIT_ACE = 0x2,
  kNO_PROPAGATE_INHERIT_ACE = 0x4,
  kINHERIT_ONLY_ACE = 0x8,
  kINHERITED_ACE = 0x10,
};
// Errors of the security calls (winerror.h).
enum : DWORD {
  kERROR_UNKNOWN_REVISION = 1305,
  kERROR_INVALID_OWNER = 1307,
  kERROR_INVALID_ACL = 1336,
  kERROR_INVALID_SID = 1337,
  kERROR_INVALID_SECURITY_DESCR = 1338,
  kERROR_ALLOTTED_SPACE_EXCEEDED = 1344,
};

struct ACE_HEADER {
  std::uint8_t AceType = 0;
  std::uint8_t AceFlags = 0;
  WORD AceSize = 0;  // header, mask and SID
};
struct ACL_SIZE_INFORMATION {
  DWORD AceCount = 0;
  DWORD AclBytesInUse = 0;
  DWORD AclBytesFree = 0;
};
// The absolute form (InitializeSecurityDescriptor's): the parts are pointers to the caller's own
// records. The self-relative form of RegGetKeySecurity keeps offsets in the same places instead.
struct SECURITY_DESCRIPTOR {
  std::uint8_t Revision = 0;
  std::uint8_t Sbz1 = 0;
  WORD Control = 0;
  PSID Owner = nullptr;
  PSID Group = nullptr;
  PACL Sacl = nullptr;
  PACL Dacl = nullptr;
};

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

  // ---- accounts, SIDs, descriptors and ACLs ------------------------------------------------
  // The SID of an account or group name ("Administrators", "KES-PC\\Admin", "System") on
  // `system_name` (null = this computer), with its domain and kind. With buffers too small (or
  // none) FALSE with 122 and *sid_size (bytes) and *domain_size (characters with the NUL) set to
  // what is needed; 1332 for a name no account has.
  virtual BOOL LookupAccountNameW(const char16_t* system_name, const char16_t* account_name,
                                  PSID sid, DWORD* sid_size, char16_t* domain, DWORD* domain_size,
                                  SID_NAME_USE* use) = 0;
  // Bytes of a SID (8 plus 4 per sub-authority). Sets no last error.
  virtual DWORD GetLengthSid(PSID sid) = 0;
  // TRUE when both SIDs are the same; FALSE otherwise (last error 0).
  virtual BOOL EqualSid(PSID sid1, PSID sid2) = 0;
  // Makes `descriptor` an empty absolute descriptor: no owner, no DACL. FALSE with 1305 for a
  // revision other than 1.
  virtual BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) = 0;
  // Whether the descriptor (either form) has a DACL, and where it is (null for a null DACL,
  // which allows everyone everything). FALSE with 1305 for a descriptor of another revision.
  virtual BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present, PACL* dacl,
                                         BOOL* defaulted) = 0;
  // Gives an absolute descriptor a DACL (`present`) or none; the ACL stays the caller's. FALSE
  // with 1338 for a self-relative descriptor, 1305 for another revision.
  virtual BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL dacl,
                                         BOOL defaulted) = 0;
  virtual BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor, WORD* control,
                                            DWORD* revision) = 0;
  // Sets the bits of `mask` to those of `bits`; only the inheritance bits (0x100-0x2000) and
  // SE_RM_CONTROL_VALID may be set this way, else FALSE with 87.
  virtual BOOL SetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor, WORD mask,
                                            WORD bits) = 0;
  // kAclSizeInformation: the entry count, bytes in use and bytes free of an ACL. FALSE with 122
  // for a record too small, 87 for another class.
  virtual BOOL GetAclInformation(PACL acl, void* info, DWORD info_length, DWORD info_class) = 0;
  // Makes `acl` an empty ACL of `length` bytes (rounded down to whole DWORDs). FALSE with 122
  // below 8 bytes, 1336 for a revision other than 2 or 4, 87 above 65532 bytes.
  virtual BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision) = 0;
  // Inserts the ACEs of the `length` bytes at `ace_list` before entry `start_index` (MAXDWORD:
  // at the end). FALSE with 122 when the ACL has no room for them, 1336 for a broken ACL or ACE
  // list. An index beyond the last entry appends.
  virtual BOOL AddAce(PACL acl, DWORD revision, DWORD start_index, const void* ace_list,
                      DWORD length) = 0;
  // Where entry `index` of the ACL starts. FALSE with 87 for an index beyond the last entry.
  virtual BOOL GetAce(PACL acl, DWORD index, void** ace) = 0;
  // Appends an entry allowing `mask` to `sid`, with the inheritance flags `ace_flags`
  // (OBJECT_INHERIT_ACE...). FALSE with 1344 when the ACL has no room, 1336 for a broken ACL,
  // 1337 for a broken SID, 87 for flags that are no inheritance flags.
  virtual BOOL AddAccessAllowedAceEx(PACL acl, DWORD revision, DWORD ace_flags, DWORD mask,
                                     PSID sid) = 0;
  // The owner of a descriptor (either form; null when it names none).
  virtual BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID* owner,
                                          BOOL* defaulted) = 0;
  // Gives an absolute descriptor an owner; the SID stays the caller's. FALSE with 1338 for a
  // self-relative descriptor.
  virtual BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID owner,
                                          BOOL defaulted) = 0;
};

}  // namespace kes::platform
