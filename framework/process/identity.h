// App_Common account identity: who the program runs as. Start-up uses it for AppInst_IsAdmin,
// AppInst_IsSystem and Name_CurrentUser; account preparation asks whether the signed-in user
// is a Microsoft account, which cannot sign in in Safe Mode. Every procedure is traced; a
// failing system call gives false, 0 or "" after its log entry, never an exception.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kes {

// Account privilege levels of GetUserAccountType.
inline constexpr std::int32_t kAccountType_Guest = 0;  // also every failure
inline constexpr std::int32_t kAccountType_User = 1;
inline constexpr std::int32_t kAccountType_Administrator = 2;
// An administrator account while the current process does not hold administrator rights
// (a member of Administrators running without elevation).
inline constexpr std::int32_t kAccountType_AdministratorNotElevated = 1002;

// True when the process runs with administrator rights: the Administrators group is enabled in
// its token (CheckTokenForAdmin). Where CheckTokenMembership is missing or fails, falls back on
// IsAdminAccount(Name_CurrentUser) when IsUserAnAdmin exists, else false (each road logged).
bool IsCurrentUserAnAdmin();

// True when the calling thread's token has the built-in Administrators group (S-1-5-32-544)
// enabled; a non-elevated administrator's filtered token gives false. `failed` becomes true only
// when the membership call itself could not run (logged by the error handler); a SID that
// cannot be built or a refused membership call give false with `failed` false.
bool CheckTokenForAdmin(bool& failed);

// True when GetUserAccountType(`user_name`) is 2 (an administrator account, and the process holds
// administrator rights); false otherwise.
bool IsAdminAccount(std::u16string_view user_name);

// The local account's privilege level (`user_name` trimmed; "" = Name_CurrentUser): 0 guest,
// 1 user, 2 administrator, 1002 administrator while this process is not elevated. 0 with a
// log entry when the account cannot be read (for example no such user).
std::int32_t GetUserAccountType(std::u16string_view user_name);

// True when the account (`user_name` trimmed; "" = Name_CurrentUser) is a Microsoft account: a
// local account that Windows reports as connected to an Internet identity. Asked only on
// Windows 8 and later (Win8_OrNewer); older Windows have none and give false without asking.
// `principal_name` and `provider_name` receive the sign-in name and the provider ("" otherwise).
// False with "NetUserGetInfo failure!" when the account cannot be read.
bool IsMicrosoftAccount(std::u16string_view user_name, std::u16string& principal_name,
                        std::u16string& provider_name);

// True when the process runs as the local system account: the environment's user name is
// empty or is the computer name followed by "$", or the system drive is X: (a preinstallation
// environment, whoever the user). False otherwise, also when the variables cannot be read.
bool IsSystemAccount();

// The user name the process runs as (GetUserNameW); "" after an API-error entry "GetUserNameW"
// when it cannot be read.
std::u16string GetMyUserName();

}  // namespace kes
