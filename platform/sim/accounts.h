// Who the simulated program runs as: the local accounts and groups the machine keeps
// (Machine::accounts, Machine::local_groups, which the simulated net.exe also changes), the
// signed-in user and the access token of the program's process (Machine::token). Tests set up a
// machine with these helpers; the security calls answer from the same rules.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/sim/machine.h"

namespace kes::sim {

// The kinds of process token a Windows 10 machine gives a program.
enum class TokenKind {
  ElevatedAdministrator,  // a member of Administrators, elevated (the program's manifest asks)
  FilteredAdministrator,  // a member of Administrators without elevation (UAC's filtered token)
  StandardUser,           // not a member of Administrators
  LocalSystem,            // the local system account (a service, a scheduled task, WinPE)
};

// The privileges a token of `kind` holds on Windows 10, by name, with whether each is enabled
// from the start.
std::map<std::u16string, bool> DefaultPrivileges(TokenKind kind);

// The local account of that name (letter case ignored), or nullptr.
const SimAccount* FindAccount(const Machine& m, std::u16string_view name);
SimAccount* FindAccount(Machine& m, std::u16string_view name);

// True when the local group exists and lists the account (letter case ignored).
bool IsGroupMember(const Machine& m, std::u16string_view group, std::u16string_view account);

// The account's privilege level as NetUserGetInfo level 1 reports it: administrator for a member
// of Administrators, guest for a member of Guests that is not in Users, user otherwise.
DWORD AccountPrivilegeLevel(const Machine& m, std::u16string_view account);

// True when the program's token has the Administrators group enabled: the system account, or
// an elevated member of Administrators.
bool TokenHasAdministrators(const Machine& m);

// Adds a local account (replacing one of the same name) and makes it a member of Administrators
// when `administrator`, else of Users.
void AddLocalAccount(Machine& m, std::u16string name, bool administrator);

// Connects an existing local account to a Microsoft account with this sign-in name (provider
// "MicrosoftAccount"). False, and nothing changes, when there is no such account.
bool ConnectMicrosoftAccount(Machine& m, std::u16string_view name, std::u16string principal);

// Makes `name` the signed-in user (GetUserNameW, USERNAME) whose token of `kind` the program's
// process carries; privileges are reset to that kind's. The account itself is not created.
void SignIn(Machine& m, std::u16string name, TokenKind kind);

// Runs the program as the local system account: GetUserNameW answers "SYSTEM", USERNAME is the
// computer name followed by "$", and the token is the system's.
void RunAsLocalSystem(Machine& m);

}  // namespace kes::sim
