// Tokens, privileges and accounts of the simulated machine, answered from the program's token
// (Machine::token) and the local accounts and groups (accounts.h), with Windows' return values
// and last errors. Only the calling process's own token can be opened, which is all the program
// asks for; SIDs and network-management buffers are real allocations, counted in
// Machine::security_allocations until they are freed.
#include <algorithm>
#include <array>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/u16.h"
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

// A SID as AllocateAndInitializeSid builds it.
struct SimSid {
  std::array<std::uint8_t, 6> authority{};
  std::vector<DWORD> sub_authorities;
  bool Is(std::initializer_list<DWORD> subs) const {
    return authority == std::array<std::uint8_t, 6>{0, 0, 0, 0, 0, 5} &&
           std::equal(sub_authorities.begin(), sub_authorities.end(), subs.begin(), subs.end());
  }
};

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
    auto made = std::make_unique<SimSid>();
    std::copy(std::begin(authority->Value), std::end(authority->Value), made->authority.begin());
    const DWORD subs[] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
    made->sub_authorities.assign(subs, subs + count);
    *sid = made.release();
    ++m_.security_allocations;
    m_.last_error = 0;
    return 1;
  }

  PSID FreeSid(PSID sid) override {
    m_.Gate("FreeSid");  // counted; freeing cannot fail
    if (!sid) return sid;
    delete static_cast<SimSid*>(sid);
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
    const SimSid& s = *static_cast<const SimSid*>(sid);
    bool member = false;
    if (s.Is({kSECURITY_BUILTIN_DOMAIN_RID, kDOMAIN_ALIAS_RID_ADMINS})) {
      member = TokenHasAdministrators(m_);
    } else if (s.Is({kSECURITY_BUILTIN_DOMAIN_RID, kDOMAIN_ALIAS_RID_USERS})) {
      member = !m_.token.local_system;  // every interactive user is one of the Users
    } else if (s.Is({kSECURITY_BUILTIN_DOMAIN_RID, kDOMAIN_ALIAS_RID_GUESTS})) {
      member = IsGroupMember(m_, u"Guests", m_.user_name);
    } else if (s.Is({kSECURITY_LOCAL_SYSTEM_RID})) {
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
