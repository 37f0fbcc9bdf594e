#include "platform/sim/accounts.h"

#include <algorithm>
#include <utility>

#include "platform/base/u16.h"

namespace kes::sim {
namespace {

// What every token of a signed-in user holds; only SeChangeNotifyPrivilege starts enabled.
const std::pair<const char16_t*, bool> kUserPrivileges[] = {
    {u"SeShutdownPrivilege", false}, {u"SeChangeNotifyPrivilege", true},
    {u"SeUndockPrivilege", false},   {u"SeIncreaseWorkingSetPrivilege", false},
    {u"SeTimeZonePrivilege", false},
};

// What elevation adds for a member of Administrators.
const std::pair<const char16_t*, bool> kAdministratorPrivileges[] = {
    {u"SeIncreaseQuotaPrivilege", false},
    {u"SeSecurityPrivilege", false},
    {u"SeTakeOwnershipPrivilege", false},
    {u"SeLoadDriverPrivilege", false},
    {u"SeSystemProfilePrivilege", false},
    {u"SeSystemtimePrivilege", false},
    {u"SeProfileSingleProcessPrivilege", false},
    {u"SeIncreaseBasePriorityPrivilege", false},
    {u"SeCreatePagefilePrivilege", false},
    {u"SeBackupPrivilege", false},
    {u"SeRestorePrivilege", false},
    {u"SeDebugPrivilege", false},
    {u"SeSystemEnvironmentPrivilege", false},
    {u"SeRemoteShutdownPrivilege", false},
    {u"SeManageVolumePrivilege", false},
    {u"SeImpersonatePrivilege", true},
    {u"SeCreateGlobalPrivilege", true},
    {u"SeCreateSymbolicLinkPrivilege", false},
    {u"SeDelegateSessionUserImpersonatePrivilege", false},
};

// What the system account holds beyond an elevated administrator, and what it has enabled.
const std::pair<const char16_t*, bool> kSystemPrivileges[] = {
    {u"SeAssignPrimaryTokenPrivilege", false},
    {u"SeLockMemoryPrivilege", true},
    {u"SeTcbPrivilege", true},
    {u"SeCreatePermanentPrivilege", true},
    {u"SeAuditPrivilege", true},
};
const char16_t* const kEnabledForSystem[] = {
    u"SeSystemProfilePrivilege",
    u"SeProfileSingleProcessPrivilege",
    u"SeIncreaseBasePriorityPrivilege",
    u"SeCreatePagefilePrivilege",
    u"SeDebugPrivilege",
    u"SeIncreaseWorkingSetPrivilege",
    u"SeTimeZonePrivilege",
    u"SeCreateSymbolicLinkPrivilege",
    u"SeDelegateSessionUserImpersonatePrivilege",
};

SimGroup& Group(Machine& m, std::u16string_view name) {
  const std::u16string key = LowerCase(name);
  auto it = m.local_groups.find(key);
  if (it == m.local_groups.end())
    it = m.local_groups.emplace(key, SimGroup{std::u16string(name), {}}).first;
  return it->second;
}

void AddMember(SimGroup& g, const std::u16string& account) {
  for (const auto& member : g.members)
    if (EqualsNoCase(member, account)) return;
  g.members.push_back(account);
}

}  // namespace

std::map<std::u16string, bool> DefaultPrivileges(TokenKind kind) {
  std::map<std::u16string, bool> held;
  for (const auto& [name, enabled] : kUserPrivileges) held[name] = enabled;
  if (kind == TokenKind::ElevatedAdministrator || kind == TokenKind::LocalSystem) {
    for (const auto& [name, enabled] : kAdministratorPrivileges) held[name] = enabled;
  }
  if (kind == TokenKind::LocalSystem) {
    for (const auto& [name, enabled] : kSystemPrivileges) held[name] = enabled;
    for (const char16_t* name : kEnabledForSystem) held[name] = true;
    held.erase(u"SeRemoteShutdownPrivilege");
  }
  return held;
}

const SimAccount* FindAccount(const Machine& m, std::u16string_view name) {
  const auto it = m.accounts.find(LowerCase(name));
  return it == m.accounts.end() ? nullptr : &it->second;
}

SimAccount* FindAccount(Machine& m, std::u16string_view name) {
  const auto it = m.accounts.find(LowerCase(name));
  return it == m.accounts.end() ? nullptr : &it->second;
}

bool IsGroupMember(const Machine& m, std::u16string_view group, std::u16string_view account) {
  const auto it = m.local_groups.find(LowerCase(group));
  if (it == m.local_groups.end()) return false;
  const auto& members = it->second.members;
  return std::any_of(members.begin(), members.end(),
                     [&](const std::u16string& s) { return EqualsNoCase(s, account); });
}

DWORD AccountPrivilegeLevel(const Machine& m, std::u16string_view account) {
  if (IsGroupMember(m, u"Administrators", account)) return platform::kUSER_PRIV_ADMIN;
  if (IsGroupMember(m, u"Guests", account) && !IsGroupMember(m, u"Users", account))
    return platform::kUSER_PRIV_GUEST;
  return platform::kUSER_PRIV_USER;
}

bool TokenHasAdministrators(const Machine& m) {
  if (m.token.local_system) return true;
  return m.token.elevated && IsGroupMember(m, u"Administrators", m.user_name);
}

void AddLocalAccount(Machine& m, std::u16string name, bool administrator) {
  const std::u16string key = LowerCase(name);
  m.accounts[key] = SimAccount{name, u"", false};
  AddMember(Group(m, administrator ? u"Administrators" : u"Users"), name);
}

bool ConnectMicrosoftAccount(Machine& m, std::u16string_view name, std::u16string principal) {
  SimAccount* account = FindAccount(m, name);
  if (!account) return false;
  account->internet_identity = true;
  account->internet_provider_name = u"MicrosoftAccount";
  account->internet_principal_name = std::move(principal);
  return true;
}

void SignIn(Machine& m, std::u16string name, TokenKind kind) {
  m.SetEnv(u"USERNAME", name);
  m.user_name = std::move(name);
  m.token.elevated = kind == TokenKind::ElevatedAdministrator || kind == TokenKind::LocalSystem;
  m.token.local_system = kind == TokenKind::LocalSystem;
  m.token.privileges = DefaultPrivileges(kind);
}

void RunAsLocalSystem(Machine& m) {
  SignIn(m, u"SYSTEM", TokenKind::LocalSystem);
  // The system account's environment names the computer's own account.
  m.SetEnv(u"USERNAME", m.computer_name + u"$");
}

}  // namespace kes::sim
