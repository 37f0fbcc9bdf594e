#include "framework/process/identity.h"

#include <vector>

#include "framework/debug/proc.h"
#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/util/strings.h"
#include "platform/base/u16.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;

constexpr std::u16string_view kModule = u"App_Common";
constexpr platform::DWORD kUserNameChars = 260;

const AppEnv* Env() {
  return Ctx().env.get();
}

// The account asked about: the name given, or the current user's when none is.
std::u16string AccountName(std::u16string_view user_name) {
  std::u16string name = Trim(user_name);
  if (name.empty() && Env()) name = Env()->Name_CurrentUser;
  return name;
}

// One environment variable; "" when it is not set (which is no failure to report).
std::u16string EnvVar(const char16_t* name) {
  auto& sys = OS().sys;
  std::vector<char16_t> buf(520, u'\0');
  platform::DWORD n =
      sys.GetEnvironmentVariableW(name, buf.data(), static_cast<platform::DWORD>(buf.size()));
  if (n >= buf.size()) {  // too small: n is the size it needs
    buf.assign(n + 1, u'\0');
    n = sys.GetEnvironmentVariableW(name, buf.data(), static_cast<platform::DWORD>(buf.size()));
  }
  if (n == 0 || n >= buf.size()) {
    sys.SetLastError(0);
    return {};
  }
  return std::u16string(buf.data(), n);
}

// The entry for a network-management call that gave no record: its status is no last error,
// so it goes into the variables with its text.
void LogNetUserGetInfoFailure(const Proc& p, const std::u16string& user, platform::DWORD level,
                              platform::DWORD status) {
  const auto code = static_cast<std::int32_t>(status);
  p.Log(u"NetUserGetInfo failure!", debug::Event_Normal,
        debug::VarsToText({u"sUserName", user, u"lLevel", static_cast<std::int32_t>(level),
                           u"lStatus", code, u"sStatus", debug::GetSystemMsg(code)}));
}

}  // namespace

bool IsCurrentUserAnAdmin() {
  Proc p(kModule, u"IsCurrentUserAnAdmin", Kind::Function);
  bool result = false;
  bool decided = false;
  p.Step([&] {
    if (!Env() || !Env()->API_CheckTokenMembership) {
      p.Log(u"CheckTokenMembership API is not available!");
      return;
    }
    bool failed = false;
    const bool member = CheckTokenForAdmin(failed);
    if (failed) {
      p.Log(u"Failed CheckTokenForAdmin API method!");
      return;
    }
    result = member;
    decided = true;
  });
  if (!decided) {
    p.Step([&] {
      if (!Env() || !Env()->API_IsUserAnAdmin) {
        p.Log(u"IsUserAnAdmin API is not available!");
        result = false;
        return;
      }
      result = IsAdminAccount(Env()->Name_CurrentUser);
    });
  }
  p.Result(result);
  return result;
}

bool CheckTokenForAdmin(bool& failed) {
  Proc p(kModule, u"CheckTokenForAdmin", Kind::Function);
  failed = false;
  bool result = false;
  platform::PSID sid = nullptr;
  p.Step([&] {
    if (!OS().sec.AllocateAndInitializeSid(
            &platform::kSECURITY_NT_AUTHORITY, 2, platform::kSECURITY_BUILTIN_DOMAIN_RID,
            platform::kDOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &sid)) {
      sid = nullptr;
      p.LogAPI(u"AllocateAndInitializeSid");
    }
  });
  if (sid) {
    const bool ran = p.Step([&] {
      platform::BOOL member = 0;
      if (!OS().sec.CheckTokenMembership(0, sid, &member)) {
        // An entry point the system does not have cannot be called at all: that is a run-time
        // failure of this call, not an answer.
        if (OS().sys.GetLastError() == platform::kERROR_PROC_NOT_FOUND) {
          throw debug::RuntimeErrorException{
              {453, u"Can't find DLL entry point CheckTokenMembership in advapi32", u"Kestrune"}};
        }
        p.LogAPI(u"CheckTokenMembership");
        return;
      }
      result = member != 0;
    });
    if (!ran) failed = true;
    p.Step([&] { OS().sec.FreeSid(sid); });
  }
  p.ReturnedByRef({u"bFailed", failed});
  p.Result(result);
  return result;
}

bool IsAdminAccount(std::u16string_view user_name) {
  Proc p(kModule, u"IsAdminAccount", Kind::Function);
  p.Args({u"sUserName", user_name});
  bool result = false;
  p.Step([&] { result = GetUserAccountType(user_name) == kAccountType_Administrator; });
  p.Result(result);
  return result;
}

std::int32_t GetUserAccountType(std::u16string_view user_name) {
  Proc p(kModule, u"GetUserAccountType", Kind::Function);
  p.Args({u"sUserName", user_name});
  std::int32_t result = kAccountType_Guest;
  p.Step([&] {
    const std::u16string user = AccountName(user_name);
    std::uint8_t* buffer = nullptr;
    const platform::DWORD status = OS().sec.NetUserGetInfo(u"", user.c_str(), 1, &buffer);
    if (status != platform::kNERR_Success || !buffer) {
      LogNetUserGetInfoFailure(p, user, 1, status);
      return;
    }
    const platform::DWORD level =
        reinterpret_cast<const platform::USER_INFO_1*>(buffer)->usri1_priv;
    OS().sec.NetApiBufferFree(buffer);
    result = static_cast<std::int32_t>(level);
    // An administrator account whose rights this process does not hold: a filtered token.
    if (result == kAccountType_Administrator && !OS().sec.IsUserAnAdmin())
      result = kAccountType_AdministratorNotElevated;
  });
  p.Result(result);
  return result;
}

bool IsMicrosoftAccount(std::u16string_view user_name, std::u16string& principal_name,
                        std::u16string& provider_name) {
  Proc p(kModule, u"IsMicrosoftAccount", Kind::Function);
  p.Args({u"sUserName", user_name});
  principal_name.clear();
  provider_name.clear();
  bool result = false;
  p.Step([&] {
    // Local accounts connected to a Microsoft account arrived with Windows 8.
    if (!Env() || !Env()->Win8_OrNewer) return;
    const std::u16string user = AccountName(user_name);
    std::uint8_t* buffer = nullptr;
    const platform::DWORD status = OS().sec.NetUserGetInfo(u"", user.c_str(), 24, &buffer);
    if (status != platform::kNERR_Success || !buffer) {
      LogNetUserGetInfoFailure(p, user, 24, status);
      return;
    }
    const auto* info = reinterpret_cast<const platform::USER_INFO_24*>(buffer);
    result = info->usri24_internet_identity != 0;
    // Both texts live in the buffer: copy them before it is freed.
    if (info->usri24_internet_principal_name) principal_name = info->usri24_internet_principal_name;
    if (info->usri24_internet_provider_name) provider_name = info->usri24_internet_provider_name;
    OS().sec.NetApiBufferFree(buffer);
  });
  p.ReturnedByRef({u"sPrincipalName", principal_name, u"sProviderName", provider_name});
  p.Result(result);
  return result;
}

bool IsSystemAccount() {
  Proc p(kModule, u"IsSystemAccount", Kind::Function);
  bool result = false;
  std::u16string user, computer, drive;
  p.Step([&] {
    user = EnvVar(u"username");
    computer = EnvVar(u"computername");
    drive = EnvVar(u"systemdrive");
    if (user.empty()) {
      result = true;
    } else if (StringMatch(user, computer + u"$")) {
      result = true;
    } else if (StringMatch(drive, u"X:")) {
      // A preinstallation environment runs everything as the system.
      result = true;
    }
  });
  p.Created({u"sUserName", user, u"sComputerName", computer, u"sSystemDrive", drive});
  p.Result(result);
  return result;
}

std::u16string GetMyUserName() {
  Proc p(kModule, u"GetMyUserName", Kind::Function);
  std::u16string result;
  p.Step([&] {
    std::u16string buf(kUserNameChars, u'\0');
    platform::DWORD size = kUserNameChars;
    if (!OS().sys.GetUserNameW(buf.data(), &size)) {
      p.LogAPI(u"GetUserNameW");
      return;
    }
    result = TrimNull(buf);
  });
  p.Result(result);
  return result;
}

}  // namespace kes
