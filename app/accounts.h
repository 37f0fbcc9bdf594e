// KestruneMain account preparation. A user who signs in with a Microsoft account (Windows 8 and
// later) may be locked out in Safe Mode, where that account's password may not work. Before a
// Safe Mode configuration the program therefore offers a temporary local administrator without
// a password, makes sure the logon screen lets the user pick it, and deletes it again once the
// machine is back in normal mode and a regular user is signed in.
#pragma once

#include <string_view>

namespace kes {

// The temporary local administrator (no password, member of "Administrators").
inline constexpr std::u16string_view kTempAdminUser = u"Kestrune_TempAdmin";

// Traced. True when the user asked for the temporary administrator: asked (style 36) only in
// normal mode on Windows 8 and later when the signed-in user is a Microsoft account. False
// without a question otherwise, and when the user answers No or no answer could be had.
bool MicrosoftAccountCheck();

// What CreateTempAdminUser did.
enum class TempAdminOutcome {
  kNotNeeded,  // not a Microsoft-account user in normal mode on Windows 8 or later: nothing done
  kCreated,    // the account reads back as a local administrator
  kFailed,     // it was to be created but does not read back as an administrator (logged)
};

// Traced. In normal mode on Windows 8 and later, for a Microsoft-account user only: creates the
// temporary administrator with the system's net command, adds it to "Administrators" and clears
// the automatic sign-in (RemoveWindowsAutoLogon), then reads the account back (an account that
// already exists stays as it is and counts once it is an administrator). Does nothing otherwise.
TempAdminOutcome CreateTempAdminUser();

// "net user Kestrune_TempAdmin /Add": how notices name a failed account creation.
inline constexpr std::u16string_view kCreateTempAdminCommand = u"net user Kestrune_TempAdmin /Add";

// Traced. Switches automatic sign-in off, removes the stored default password and the policies
// that hide user switching or disable locking (machine and user), removes "ForceAutoLogon" on
// Vista and later and enables user switching on the logon screen on Windows 8 and later. A row
// that fails is logged and the remaining rows are still applied.
void RemoveWindowsAutoLogon();

// Traced. On Windows 8 and later: when the temporary administrator itself is signed in (letter
// case ignored), schedules this program with "/DeleteTempAdminUser" for the next sign-in, clears
// the automatic sign-in and, in normal mode only, offers to log off (a forced logoff on Yes);
// when anyone else is signed in, deletes the account (the command is issued whether or not it
// exists). Does nothing before Windows 8.
void DeleteTempAdminUser();

}  // namespace kes
