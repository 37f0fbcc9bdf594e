// Tokens, privileges and accounts of the simulated machine, answered from the program's token
// (Machine::token) and the local accounts and groups (accounts.h), with Windows' return values
// and last errors. Only the calling process's own token can be opened, which is all the program
// asks for; SIDs and network-management buffers are real allocations, counted in
// Machine::security_allocations until they are freed. SIDs, ACLs and descriptors are Windows'
// binary records (access_control.h reads and writes them).
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/u16.h"
#include "platform/sim/access_control.h"
#include "platform/sim/accounts.h"
#include "platform/sim/machine.h"

namespace kes::sim {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified here

// The privilege names the local security authority knows, with the LUIDs Windows gives them.
// SeUnsolicitedInputPrivilege has a name in winnt.h but no privilege behind it: its lookup fails.
struct KnownPrivilege {
  const char* name;
  DWORD luid;
};
constexpr KnownPrivilege kKnownPrivileges[] = {
    {"SeCreateTokenPrivilege", 2},
    {"SeAssignPrimaryTokenPrivilege", 3},
    {"SeLockMemoryPrivilege", 4},
    {"SeIncreaseQuotaPrivilege", 5},
    {"SeMachineAccountPrivilege", 6},
    {"SeTcbPrivilege", 7},
    {"SeSecurityPrivilege", 8},
    {"SeTakeOwnershipPrivilege", 9},
    {"SeLoadDriverPrivilege", 10},
    {"SeSystemProfilePrivilege", 11},
    {"SeSystemtimePrivilege", 12},
    {"SeProfileSingleProcessPrivilege", 13},
    {"SeIncreaseBasePriorityPrivilege", 14},
    {"SeCreatePagefilePrivilege", 15},
    {"SeCreatePermanentPrivilege", 16},
    {"SeBackupPrivilege", 17},
    {"SeRestorePrivilege", 18},
    {"SeShutdownPrivilege", 19},
    {"SeDebugPrivilege", 20},
    {"SeAuditPrivilege", 21},
    {"SeSystemEnvironmentPrivilege", 22},
    {"SeChangeNotifyPrivilege", 23},
    {"SeRemoteShutdownPrivilege", 24},
    {"SeUndockPrivilege", 25},
    {"SeSyncAgentPrivilege", 26},
    {"SeEnableDelegationPrivilege", 27},
    {"SeManageVolumePrivilege", 28},
    {"SeImpersonatePrivilege", 29},
    {"SeCreateGlobalPrivilege", 30},
    {"SeTrustedCredManAccessPrivilege", 31},
    {"SeRelabelPrivilege", 32},
    {"SeIncreaseWorkingSetPrivilege", 33},
    {"SeTimeZonePrivilege", 34},
    {"SeCreateSymbolicLinkPrivilege", 35},
    {"SeDelegateSessionUserImpersonatePrivilege", 36},
};

bool EqualsNoCaseAscii(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    const char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
    const char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

const KnownPrivilege* PrivilegeByName(const char* name) {
  for (const auto& p : kKnownPrivileges)
    if (EqualsNoCaseAscii(p.name, name)) return &p;
  return nullptr;
}

const KnownPrivilege* PrivilegeByLuid(const LUID& luid) {
  if (luid.HighPart != 0) return nullptr;
  for (const auto& p : kKnownPrivileges)
    if (p.luid == luid.LowPart) return &p;
  return nullptr;
}

struct TokenObject final : KernelObject {
  explicit TokenObject(DWORD a) : access(a) {}
  DWORD access;
};

constexpr std::size_t kMaxSidBytes = 8 + 4 * 15;

std::string TextOfSid(PSID sid) {
  return SidText(static_cast<const std::uint8_t*>(sid), kMaxSidBytes);
}

// Reads the header of a binary ACL; false for one that is not.
bool AclHeader(PACL acl, WORD* size, WORD* count) {
  const auto* b = static_cast<const std::uint8_t*>(acl);
  if (!b || (b[0] != 2 && b[0] != 4)) return false;
  *size = static_cast<WORD>(b[2] | (b[3] << 8));
  *count = static_cast<WORD>(b[4] | (b[5] << 8));
  return *size >= 8;
}
// Bytes used by the first `count` ACEs of an ACL (header included); 0 for a broken one.
std::size_t AclUsed(const std::uint8_t* b, WORD size, WORD count) {
  std::size_t at = 8;
  for (WORD i = 0; i < count; ++i) {
    if (at + 4 > size) return 0;
    const WORD ace = static_cast<WORD>(b[at + 2] | (b[at + 3] << 8));
    if (ace < 4 || at + ace > size) return 0;
    at += ace;
  }
  return at;
}

// One network-management buffer: the record first (its address is what the caller gets), then
// the texts its pointers point into.
struct NetBuffer {
  union {
    USER_INFO_1 info1;
    USER_INFO_24 info24;
  };
  std::vector<std::u16string> texts;
  NetBuffer() : info1{} {}
  char16_t* Keep(std::u16string text) {
    texts.push_back(std::move(text));
    return texts.back().data();
  }
};

class SimSecurityApi final : public SecurityApi {
 public:
  explicit SimSecurityApi(Machine& m) : m_(m) {
    // The program's manifest asks for elevation: by default it runs as an elevated
    // administrator.
    if (m_.token.privileges.empty())
      m_.token.privileges = DefaultPrivileges(TokenKind::ElevatedAdministrator);
  }

  BOOL OpenProcessToken(HANDLE process, DWORD desired_access, HANDLE* token) override {
    if (Fail("OpenProcessToken")) return 0;
    if (!token) return Error(kERROR_INVALID_PARAMETER, 0);
    *token = 0;
    if (process != kCurrentProcess) return Error(kERROR_INVALID_HANDLE, 0);
    *token = m_.AddHandle(std::make_shared<TokenObject>(desired_access));
    m_.last_error = 0;
    return 1;
  }

  BOOL LookupPrivilegeValueA(const char* system_name, const char* name, LUID* luid) override {
    if (Fail("LookupPrivilegeValueA")) return 0;
    if (!name || !luid) return Error(kERROR_INVALID_PARAMETER, 0);
    if (system_name && *system_name && !IsThisComputer(system_name))
      return Error(kRPC_S_SERVER_UNAVAILABLE, 0);
    const KnownPrivilege* p = PrivilegeByName(name);
    if (!p) return Error(kERROR_NO_SUCH_PRIVILEGE, 0);
    luid->LowPart = p->luid;
    luid->HighPart = 0;
    m_.last_error = 0;
    return 1;
  }

  BOOL AdjustTokenPrivileges(HANDLE token, BOOL disable_all, const TOKEN_PRIVILEGES* new_state,
                             DWORD buffer_length, TOKEN_PRIVILEGES* previous_state,
                             DWORD* return_length) override {
    if (Fail("AdjustTokenPrivileges")) return 0;
    const TokenObject* t = m_.Lookup<TokenObject>(token);
    if (!t) return Error(kERROR_INVALID_HANDLE, 0);
    if (!(t->access & kTOKEN_ADJUST_PRIVILEGES)) return Error(kERROR_ACCESS_DENIED, 0);
    if (!disable_all && (!new_state || new_state->PrivilegeCount > kTokenPrivilegesCapacity))
      return Error(kERROR_INVALID_PARAMETER, 0);

    // Work out the change first: a previous-state buffer that is too small changes nothing.
    struct Change {
      std::u16string name;
      DWORD luid;
      bool was_enabled;
      bool enable;
    };
    std::vector<Change> changes;
    bool all_assigned = true;
    if (disable_all) {
      for (const auto& [name, enabled] : m_.token.privileges) {
        if (!enabled) continue;
        const KnownPrivilege* p = PrivilegeByName(Utf8(name).c_str());
        changes.push_back({name, p ? p->luid : 0, true, false});
      }
    } else {
      for (DWORD i = 0; i < new_state->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& e = new_state->Privileges[i];
        const KnownPrivilege* p = PrivilegeByLuid(e.Luid);
        const std::u16string name = p ? U16(p->name) : std::u16string();
        const auto held = p ? m_.token.privileges.find(name) : m_.token.privileges.end();
        if (held == m_.token.privileges.end()) {
          all_assigned = false;
          continue;
        }
        const bool enable = (e.Attributes & kSE_PRIVILEGE_ENABLED) != 0;
        if (held->second != enable) changes.push_back({name, p->luid, held->second, enable});
      }
    }
    if (previous_state) {
      const DWORD needed =
          static_cast<DWORD>(sizeof(DWORD) + changes.size() * sizeof(LUID_AND_ATTRIBUTES));
      if (return_length) *return_length = needed;
      if (buffer_length < needed) return Error(kERROR_INSUFFICIENT_BUFFER, 0);
      previous_state->PrivilegeCount = static_cast<DWORD>(changes.size());
      for (std::size_t i = 0; i < changes.size(); ++i) {
        previous_state->Privileges[i].Luid = LUID{changes[i].luid, 0};
        previous_state->Privileges[i].Attributes =
            changes[i].was_enabled ? DWORD{kSE_PRIVILEGE_ENABLED} : DWORD{0};
      }
    }
    for (const Change& c : changes) m_.token.privileges[c.name] = c.enable;
    m_.last_error = all_assigned ? DWORD{0} : DWORD{kERROR_NOT_ALL_ASSIGNED};
    return 1;
  }

  BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, std::uint8_t count,
                                DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                                DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid) override {
    if (Fail("AllocateAndInitializeSid")) return 0;
    if (!authority || !sid || count < 1 || count > 8) return Error(kERROR_INVALID_PARAMETER, 0);
    auto* made = new std::uint8_t[8 + 4 * count];
    made[0] = 1;
    made[1] = count;
    std::copy(std::begin(authority->Value), std::end(authority->Value), made + 2);
    const DWORD subs[] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
    std::memcpy(made + 8, subs, 4 * count);
    *sid = made;
    ++m_.security_allocations;
    m_.last_error = 0;
    return 1;
  }

  PSID FreeSid(PSID sid) override {
    m_.Gate("FreeSid");  // counted; freeing cannot fail
    if (!sid) return sid;
    delete[] static_cast<std::uint8_t*>(sid);
    --m_.security_allocations;
    return nullptr;
  }

  BOOL CheckTokenMembership(HANDLE token, PSID sid, BOOL* is_member) override {
    if (Fail("CheckTokenMembership")) return 0;
    // A Windows without the entry point: the caller's import cannot be resolved.
    if (!Exports(u"advapi32.dll", "CheckTokenMembership")) return Error(kERROR_PROC_NOT_FOUND, 0);
    if (!sid || !is_member) return Error(kERROR_INVALID_PARAMETER, 0);
    // Only an impersonation token can be tested; a primary one (OpenProcessToken's) is refused.
    if (token != 0) return Error(kERROR_NO_IMPERSONATION_TOKEN, 0);
    const std::string s = TextOfSid(sid);
    bool member = false;
    if (s == kSidAdministrators) {
      member = TokenHasAdministrators(m_);
    } else if (s == kSidUsers) {
      member = !m_.token.local_system;  // every interactive user is one of the Users
    } else if (s == kSidGuests) {
      member = IsGroupMember(m_, u"Guests", m_.user_name);
    } else if (s == kSidSystem) {
      member = m_.token.local_system;
    }
    *is_member = member ? 1 : 0;
    m_.last_error = 0;
    return 1;
  }

  BOOL IsUserAnAdmin() override {
    if (m_.Gate("IsUserAnAdmin")) return 0;  // an injected failure answers "not an administrator"
    return TokenHasAdministrators(m_) ? 1 : 0;
  }

  DWORD NetUserGetInfo(const char16_t* server_name, const char16_t* user_name, DWORD level,
                       std::uint8_t** buffer) override {
    if (auto e = m_.Gate("NetUserGetInfo")) return *e;
    if (!buffer) return kERROR_INVALID_PARAMETER;
    *buffer = nullptr;
    if (server_name && *server_name && !IsThisComputer(Utf8(server_name).c_str()))
      return kERROR_BAD_NETPATH;
    if (!user_name) return kERROR_INVALID_PARAMETER;
    if (level != 1 && level != 24) return kERROR_INVALID_LEVEL;
    // Windows 8 (6.2) brought the Internet identity of local accounts.
    if (level == 24 && !IsWindows8OrLater()) return kERROR_INVALID_LEVEL;
    const SimAccount* account = FindAccount(m_, user_name);
    if (!account) return kNERR_UserNotFound;

    auto made = std::make_unique<NetBuffer>();
    if (level == 1) {
      USER_INFO_1& info = made->info1;
      info.usri1_name = made->Keep(account->name);
      info.usri1_password = nullptr;
      info.usri1_password_age = 0;
      info.usri1_priv = AccountPrivilegeLevel(m_, account->name);
      info.usri1_home_dir = made->Keep(u"");
      info.usri1_comment = made->Keep(u"");
      info.usri1_flags = kUF_SCRIPT | kUF_NORMAL_ACCOUNT | kUF_DONT_EXPIRE_PASSWD |
                         (account->disabled ? DWORD{kUF_ACCOUNTDISABLE} : DWORD{0}) |
                         (account->password.empty() ? DWORD{kUF_PASSWD_NOTREQD} : DWORD{0});
      info.usri1_script_path = made->Keep(u"");
    } else {
      made->info24 = USER_INFO_24{};
      USER_INFO_24& info = made->info24;
      info.usri24_internet_identity = account->internet_identity ? 1 : 0;
      info.usri24_flags = 0;
      info.usri24_internet_provider_name =
          account->internet_identity ? made->Keep(account->internet_provider_name) : nullptr;
      info.usri24_internet_principal_name =
          account->internet_identity ? made->Keep(account->internet_principal_name) : nullptr;
      info.usri24_user_sid = nullptr;
    }
    *buffer = reinterpret_cast<std::uint8_t*>(&made->info1);
    net_buffers_.emplace(*buffer, std::move(made));
    ++m_.security_allocations;
    return kNERR_Success;
  }

  DWORD NetApiBufferFree(void* buffer) override {
    if (auto e = m_.Gate("NetApiBufferFree")) return *e;
    if (!buffer) return kNERR_Success;
    const auto it = net_buffers_.find(buffer);
    if (it == net_buffers_.end()) return kERROR_INVALID_PARAMETER;
    net_buffers_.erase(it);
    --m_.security_allocations;
    return kNERR_Success;
  }

  BOOL LookupAccountNameW(const char16_t* system_name, const char16_t* account_name, PSID sid,
                          DWORD* sid_size, char16_t* domain, DWORD* domain_size,
                          SID_NAME_USE* use) override {
    if (Fail("LookupAccountNameW")) return 0;
    if (!account_name || !sid_size || !domain_size) return Error(kERROR_INVALID_PARAMETER, 0);
    if (system_name && *system_name && !IsThisComputer(Utf8(system_name).c_str()))
      return Error(kRPC_S_SERVER_UNAVAILABLE, 0);
    const std::optional<AccountSid> found = LookupAccount(m_, account_name);
    if (!found) return Error(kERROR_NONE_MAPPED, 0);
    const std::vector<std::uint8_t> bytes = SidBytes(found->sid);
    const auto sid_needed = static_cast<DWORD>(bytes.size());
    const auto domain_needed = static_cast<DWORD>(found->domain.size() + 1);
    if (!sid || !domain || *sid_size < sid_needed || *domain_size < domain_needed) {
      *sid_size = sid_needed;
      *domain_size = domain_needed;
      return Error(kERROR_INSUFFICIENT_BUFFER, 0);
    }
    std::memcpy(sid, bytes.data(), bytes.size());
    std::copy(found->domain.begin(), found->domain.end(), domain);
    domain[found->domain.size()] = 0;
    *sid_size = sid_needed;
    *domain_size = domain_needed - 1;
    if (use) *use = found->use;
    m_.last_error = 0;
    return 1;
  }

  DWORD GetLengthSid(PSID sid) override {
    m_.Gate("GetLengthSid");  // counted; it cannot fail
    const auto* b = static_cast<const std::uint8_t*>(sid);
    return b ? 8u + 4u * b[1] : 0u;
  }

  BOOL EqualSid(PSID sid1, PSID sid2) override {
    if (Fail("EqualSid")) return 0;
    m_.last_error = 0;
    const std::string a = TextOfSid(sid1);
    return !a.empty() && a == TextOfSid(sid2) ? 1 : 0;
  }

  BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) override {
    if (Fail("InitializeSecurityDescriptor")) return 0;
    if (revision != kSECURITY_DESCRIPTOR_REVISION) return Error(kERROR_UNKNOWN_REVISION, 0);
    *static_cast<SECURITY_DESCRIPTOR*>(descriptor) = SECURITY_DESCRIPTOR{};
    static_cast<SECURITY_DESCRIPTOR*>(descriptor)->Revision = 1;
    m_.last_error = 0;
    return 1;
  }

  BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present, PACL* dacl,
                                 BOOL* defaulted) override {
    if (Fail("GetSecurityDescriptorDacl")) return 0;
    auto* b = static_cast<std::uint8_t*>(descriptor);
    if (!b || b[0] != kSECURITY_DESCRIPTOR_REVISION) return Error(kERROR_UNKNOWN_REVISION, 0);
    const WORD control = static_cast<WORD>(b[2] | (b[3] << 8));
    *present = (control & kSE_DACL_PRESENT) ? 1 : 0;
    *defaulted = (control & 0x8) ? 1 : 0;  // SE_DACL_DEFAULTED
    if (control & kSE_SELF_RELATIVE) {
      DWORD offset = 0;
      std::memcpy(&offset, b + 16, 4);
      *dacl = offset ? b + offset : nullptr;
    } else {
      *dacl = static_cast<SECURITY_DESCRIPTOR*>(descriptor)->Dacl;
    }
    if (!*present) *dacl = nullptr;
    m_.last_error = 0;
    return 1;
  }

  BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL dacl,
                                 BOOL defaulted) override {
    if (Fail("SetSecurityDescriptorDacl")) return 0;
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    if (sd->Revision != kSECURITY_DESCRIPTOR_REVISION) return Error(kERROR_UNKNOWN_REVISION, 0);
    if (sd->Control & kSE_SELF_RELATIVE) return Error(kERROR_INVALID_SECURITY_DESCR, 0);
    sd->Control = static_cast<WORD>(sd->Control & ~(kSE_DACL_PRESENT | 0x8));
    if (present) {
      sd->Control = static_cast<WORD>(sd->Control | kSE_DACL_PRESENT | (defaulted ? 0x8 : 0));
      sd->Dacl = dacl;
    } else {
      sd->Dacl = nullptr;
    }
    m_.last_error = 0;
    return 1;
  }

  BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor, WORD* control,
                                    DWORD* revision) override {
    if (Fail("GetSecurityDescriptorControl")) return 0;
    const auto* b = static_cast<const std::uint8_t*>(descriptor);
    *revision = b[0];
    *control = static_cast<WORD>(b[2] | (b[3] << 8));
    m_.last_error = 0;
    return 1;
  }

  BOOL SetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor, WORD mask,
                                    WORD bits) override {
    if (Fail("SetSecurityDescriptorControl")) return 0;
    constexpr WORD kSettable = 0x3F00 | 0x4000;  // inheritance bits and SE_RM_CONTROL_VALID
    if ((mask & ~kSettable) || (bits & ~kSettable)) return Error(kERROR_INVALID_PARAMETER, 0);
    auto* b = static_cast<std::uint8_t*>(descriptor);
    const WORD control = static_cast<WORD>(((b[2] | (b[3] << 8)) & ~mask) | (bits & mask));
    b[2] = static_cast<std::uint8_t>(control);
    b[3] = static_cast<std::uint8_t>(control >> 8);
    m_.last_error = 0;
    return 1;
  }

  BOOL GetAclInformation(PACL acl, void* info, DWORD info_length, DWORD info_class) override {
    if (Fail("GetAclInformation")) return 0;
    if (info_class != kAclSizeInformation) return Error(kERROR_INVALID_PARAMETER, 0);
    if (info_length < sizeof(ACL_SIZE_INFORMATION)) return Error(kERROR_INSUFFICIENT_BUFFER, 0);
    WORD size = 0;
    WORD count = 0;
    if (!AclHeader(acl, &size, &count)) return Error(kERROR_INVALID_ACL, 0);
    const std::size_t used = AclUsed(static_cast<const std::uint8_t*>(acl), size, count);
    if (!used) return Error(kERROR_INVALID_ACL, 0);
    auto* out = static_cast<ACL_SIZE_INFORMATION*>(info);
    out->AceCount = count;
    out->AclBytesInUse = static_cast<DWORD>(used);
    out->AclBytesFree = static_cast<DWORD>(size - used);
    m_.last_error = 0;
    return 1;
  }

  BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision) override {
    if (Fail("InitializeAcl")) return 0;
    if (length < 8) return Error(kERROR_INSUFFICIENT_BUFFER, 0);
    if (revision != 2 && revision != 4) return Error(kERROR_INVALID_ACL, 0);
    if (length > 0xFFFC) return Error(kERROR_INVALID_PARAMETER, 0);
    length &= ~DWORD{3};
    auto* b = static_cast<std::uint8_t*>(acl);
    std::memset(b, 0, 8);
    b[0] = static_cast<std::uint8_t>(revision);
    b[2] = static_cast<std::uint8_t>(length);
    b[3] = static_cast<std::uint8_t>(length >> 8);
    m_.last_error = 0;
    return 1;
  }

  BOOL AddAce(PACL acl, DWORD, DWORD start_index, const void* ace_list, DWORD length) override {
    if (Fail("AddAce")) return 0;
    WORD size = 0;
    WORD count = 0;
    if (!AclHeader(acl, &size, &count) || !ace_list) return Error(kERROR_INVALID_ACL, 0);
    auto* b = static_cast<std::uint8_t*>(acl);
    const std::size_t used = AclUsed(b, size, count);
    // The list must be whole ACEs.
    const auto* list = static_cast<const std::uint8_t*>(ace_list);
    WORD added = 0;
    for (std::size_t at = 0; at < length; ++added) {
      const WORD ace = at + 4 <= length ? static_cast<WORD>(list[at + 2] | (list[at + 3] << 8)) : 0;
      if (ace < 4 || at + ace > length) return Error(kERROR_INVALID_ACL, 0);
      at += ace;
    }
    if (!used) return Error(kERROR_INVALID_ACL, 0);
    if (used + length > size) return Error(kERROR_INSUFFICIENT_BUFFER, 0);
    const WORD index = start_index >= count ? count : static_cast<WORD>(start_index);
    const std::size_t insert_at = AclUsed(b, size, index);
    std::memmove(b + insert_at + length, b + insert_at, used - insert_at);
    std::memcpy(b + insert_at, list, length);
    const WORD total = static_cast<WORD>(count + added);
    b[4] = static_cast<std::uint8_t>(total);
    b[5] = static_cast<std::uint8_t>(total >> 8);
    m_.last_error = 0;
    return 1;
  }

  BOOL GetAce(PACL acl, DWORD index, void** ace) override {
    if (Fail("GetAce")) return 0;
    WORD size = 0;
    WORD count = 0;
    if (!AclHeader(acl, &size, &count) || index >= count) return Error(kERROR_INVALID_PARAMETER, 0);
    auto* b = static_cast<std::uint8_t*>(acl);
    const std::size_t at = AclUsed(b, size, static_cast<WORD>(index));
    if (!at) return Error(kERROR_INVALID_ACL, 0);
    *ace = b + at;
    m_.last_error = 0;
    return 1;
  }

  BOOL AddAccessAllowedAceEx(PACL acl, DWORD, DWORD ace_flags, DWORD mask, PSID sid) override {
    if (Fail("AddAccessAllowedAceEx")) return 0;
    constexpr DWORD kValidInheritFlags = 0x1F;
    if (ace_flags & ~kValidInheritFlags) return Error(kERROR_INVALID_PARAMETER, 0);
    WORD size = 0;
    WORD count = 0;
    if (!AclHeader(acl, &size, &count)) return Error(kERROR_INVALID_ACL, 0);
    auto* b = static_cast<std::uint8_t*>(acl);
    const std::size_t used = AclUsed(b, size, count);
    if (!used) return Error(kERROR_INVALID_ACL, 0);
    const std::string sid_text = TextOfSid(sid);
    if (sid_text.empty()) return Error(kERROR_INVALID_SID, 0);
    const std::vector<std::uint8_t> entry = AclBytes(
        {{kACCESS_ALLOWED_ACE_TYPE, static_cast<std::uint8_t>(ace_flags), mask, sid_text}});
    const std::size_t bytes = entry.size() - 8;  // without the ACL header
    if (used + bytes > size) return Error(kERROR_ALLOTTED_SPACE_EXCEEDED, 0);
    std::memcpy(b + used, entry.data() + 8, bytes);
    const WORD total = static_cast<WORD>(count + 1);
    b[4] = static_cast<std::uint8_t>(total);
    b[5] = static_cast<std::uint8_t>(total >> 8);
    m_.last_error = 0;
    return 1;
  }

  BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID* owner,
                                  BOOL* defaulted) override {
    if (Fail("GetSecurityDescriptorOwner")) return 0;
    auto* b = static_cast<std::uint8_t*>(descriptor);
    if (!b || b[0] != kSECURITY_DESCRIPTOR_REVISION) return Error(kERROR_UNKNOWN_REVISION, 0);
    const WORD control = static_cast<WORD>(b[2] | (b[3] << 8));
    if (control & kSE_SELF_RELATIVE) {
      DWORD offset = 0;
      std::memcpy(&offset, b + 4, 4);
      *owner = offset ? b + offset : nullptr;
    } else {
      *owner = static_cast<SECURITY_DESCRIPTOR*>(descriptor)->Owner;
    }
    *defaulted = (control & 0x1) ? 1 : 0;  // SE_OWNER_DEFAULTED
    m_.last_error = 0;
    return 1;
  }

  BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID owner,
                                  BOOL defaulted) override {
    if (Fail("SetSecurityDescriptorOwner")) return 0;
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(descriptor);
    if (sd->Revision != kSECURITY_DESCRIPTOR_REVISION) return Error(kERROR_UNKNOWN_REVISION, 0);
    if (sd->Control & kSE_SELF_RELATIVE) return Error(kERROR_INVALID_SECURITY_DESCR, 0);
    sd->Owner = owner;
    sd->Control = static_cast<WORD>((sd->Control & ~0x1) | (defaulted ? 0x1 : 0));
    m_.last_error = 0;
    return 1;
  }

 private:
  bool Fail(const char* api) {
    if (auto e = m_.Gate(api)) {
      m_.last_error = *e;
      return true;
    }
    return false;
  }

  template <class T>
  T Error(DWORD code, T result) {
    m_.last_error = code;
    return result;
  }

  bool Exports(const std::u16string& library, const std::string& entry) const {
    const auto it = m_.libraries.find(library);
    if (it == m_.libraries.end()) return false;
    return std::find(it->second.begin(), it->second.end(), entry) != it->second.end();
  }

  // "KES-PC", "\\KES-PC" or "." name this computer.
  bool IsThisComputer(const char* name) const {
    std::u16string n = U16(name);
    if (n.rfind(u"\\\\", 0) == 0) n = n.substr(2);
    return n == u"." || EqualsNoCase(n, m_.computer_name);
  }

  bool IsWindows8OrLater() const {
    const auto& v = m_.facts.version;
    return v.dwMajorVersion > 6 || (v.dwMajorVersion == 6 && v.dwMinorVersion >= 2);
  }

  Machine& m_;
  std::map<void*, std::unique_ptr<NetBuffer>> net_buffers_;
};

}  // namespace

std::unique_ptr<platform::SecurityApi> MakeSimSecurity(Machine& m) {
  return std::make_unique<SimSecurityApi>(m);
}

}  // namespace kes::sim
