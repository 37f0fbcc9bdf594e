#include "app/accounts.h"

#include <cstdint>
#include <string>

#include "app/dispatch.h"
#include "app/safeboot.h"
#include "framework/debug/proc.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/process/identity.h"
#include "framework/process/shell.h"
#include "framework/process/shutdown.h"
#include "framework/registry/access.h"
#include "framework/util/strings.h"
#include "platform/base/u16.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;
using platform::kHKEY_CURRENT_USER;
using platform::kHKEY_LOCAL_MACHINE;

constexpr std::u16string_view kModule = u"KestruneMain";

constexpr std::u16string_view kWinlogonKey =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr std::u16string_view kPoliciesSystemKey =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr std::u16string_view kUserSwitchKey =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Authentication\\LogonUI\\UserSwitch";

constexpr std::u16string_view kOfferTempAdmin =
    u"您似乎已登录 Microsoft 帐户, 并且您的密码可能无法在安全模式下运行.\r\n\r\n"
    u"是否要创建一个临时管理员帐户? 以便在您的帐户被锁定的情况下使用 "
    u"在安全模式?  (强力推荐!)";
constexpr std::u16string_view kOfferLogoff =
    u"We're back in Normal Mode; are you finished with the temporary admin user?  This "
    u"temporary user will be deleted when you login to your regular user account.\r\n\r\n"
    u"Click YES to Logout.";

constexpr std::u16string_view kDeleteTempAdminSwitch = u"/DeleteTempAdminUser";

// The environment facts, or all-false ones when start-up has not created them: then every
// condition below fails and nothing is touched.
const AppEnv& Env() {
  static const AppEnv kNone;
  return Ctx().env ? *Ctx().env : kNone;
}

// The Microsoft-account test as account preparation asks it: for the signed-in user, in normal
// mode on Windows 8 and later only.
bool SignedInWithMicrosoftAccountInNormalMode() {
  if (!Env().WinMode_Normal || !Env().Win8_OrNewer) return false;
  std::u16string principal_name, provider_name;
  return IsMicrosoftAccount(u"", principal_name, provider_name);
}

// Runs the system's net.exe with `net_args` through the system's command processor, hidden, and
// waits for it; the exit code is left to ShellX's log.
void RunNetAndWait(std::u16string_view net_args) {
  std::int32_t exit_code = 0;
  ShellX(SystemToolPath(u"cmd.exe"), CmdArguments(SystemToolCommand(u"net.exe", net_args)), true,
         kShellHide, exit_code, false, 0);
}

// Whether the temporary administrator's account is there, asked without a trace of its own: a
// missing account is the normal answer, not a failure to log.
bool TempAdminAccountExists() {
  std::uint8_t* buffer = nullptr;
  const platform::DWORD status =
      OS().sec.NetUserGetInfo(u"", std::u16string(kTempAdminUser).c_str(), 1, &buffer);
  if (buffer) OS().sec.NetApiBufferFree(buffer);
  return status == platform::kNERR_Success;
}

}  // namespace

bool MicrosoftAccountCheck() {
  Proc p(kModule, u"MicrosoftAccountCheck", Kind::Function);
  bool result = false;
  p.Step([&] {
    if (!SignedInWithMicrosoftAccountInNormalMode()) return;
    result = ShowMessage(kOfferTempAdmin, kStyleYesNoQuestion) == platform::kIDYES;
  });
  p.Result(result);
  return result;
}

TempAdminOutcome CreateTempAdminUser() {
  Proc p(kModule, u"CreateTempAdminUser", Kind::Function);
  bool create = false;
  p.Step([&] { create = SignedInWithMicrosoftAccountInNormalMode(); });
  p.Created({u"bCreate", create});
  if (!create) {
    p.Result(u"NotNeeded");
    return TempAdminOutcome::kNotNeeded;
  }
  const std::u16string user(kTempAdminUser);
  p.Step([&] { RunNetAndWait(u"user " + user + u" /Add"); });
  p.Step([&] { RunNetAndWait(u"localgroup Administrators " + user + u" /Add"); });
  p.Step([&] { RemoveWindowsAutoLogon(); });
  // Read back as the hooks are: the user asked for it because they cannot sign in in Safe Mode
  // otherwise (a password policy or a name already taken can refuse it).
  std::int32_t type = kAccountType_Guest;
  p.Step([&] { type = GetUserAccountType(user); });
  const bool created =
      type == kAccountType_Administrator || type == kAccountType_AdministratorNotElevated;
  if (!created) {
    p.Log(u"The temporary administrator does not read back as a local administrator.",
          debug::Event_Normal, u"sUserName=" + user + u", lAccountType=" + Dec(type));
  }
  p.Result(created ? u"Created" : u"Failed");
  return created ? TempAdminOutcome::kCreated : TempAdminOutcome::kFailed;
}

void RemoveWindowsAutoLogon() {
  Proc p(kModule, u"RemoveWindowsAutoLogon", Kind::Sub);
  // Each row on its own: a refused one must not keep the others from being applied.
  p.Step([&] {
    RegWriteValue(kHKEY_LOCAL_MACHINE, kWinlogonKey, u"AutoAdminLogon", platform::kREG_SZ,
                  Value(std::u16string(u"0")));
  });
  for (platform::HKEY root : {kHKEY_LOCAL_MACHINE, kHKEY_CURRENT_USER}) {
    for (std::u16string_view value : {u"HideFastUserSwitching", u"DisableLockWorkstation"})
      p.Step([&] { RegDeleteValue(root, kPoliciesSystemKey, value); });
  }
  p.Step([&] { RegDeleteValue(kHKEY_LOCAL_MACHINE, kWinlogonKey, u"DefaultPassword"); });
  if (Env().WinVista_OrNewer)
    p.Step([&] { RegDeleteValue(kHKEY_LOCAL_MACHINE, kWinlogonKey, u"ForceAutoLogon"); });
  if (Env().Win8_OrNewer) {
    p.Step([&] {
      RegWriteValue(kHKEY_LOCAL_MACHINE, kUserSwitchKey, u"Enabled", platform::kREG_DWORD,
                    Value(std::int32_t{1}));
    });
  }
}

void DeleteTempAdminUser() {
  Proc p(kModule, u"DeleteTempAdminUser", Kind::Sub);
  if (!Env().Win8_OrNewer) return;
  const bool signed_in_as_temp_admin = StringMatch(Env().Name_CurrentUser, kTempAdminUser, false);
  p.Created({u"bSignedInAsTempAdmin", signed_in_as_temp_admin});
  const auto schedule_deletion = [&] {
    p.Step([&] {
      AddMeToRunOnce(kDeleteTempAdminSwitch,
                     std::u16string(kRunOnceEntryName) + u" (Delete Temp Admin User)");
    });
  };
  if (!signed_in_as_temp_admin) {
    p.Step([&] { RunNetAndWait(u"user " + std::u16string(kTempAdminUser) + u" /Delete"); });
    // A passwordless administrator that refused to go is not left alone: the next sign-in
    // tries again.
    bool still_there = false;
    p.Step([&] { still_there = TempAdminAccountExists(); });
    if (still_there) {
      p.Log(u"The temporary administrator could not be deleted; the next sign-in tries again.",
            debug::Event_Normal, u"sUserName=" + std::u16string(kTempAdminUser));
      schedule_deletion();
    }
    return;
  }
  // The account cannot delete itself while it is signed in: the next sign-in does it.
  schedule_deletion();
  p.Step([&] { RemoveWindowsAutoLogon(); });
  if (!Env().WinMode_Normal) return;
  p.Step([&] {
    if (ShowMessage(kOfferLogoff, kStyleYesNoQuestion) == platform::kIDYES)
      LogoffWindows(kForcedShutdown);
  });
}

}  // namespace kes
