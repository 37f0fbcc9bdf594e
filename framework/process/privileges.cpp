#include "framework/process/privileges.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "framework/debug/proc.h"
#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "framework/util/strings.h"
#include "platform/base/u16.h"
#include "platform/unique_handle.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;

constexpr std::u16string_view kModule = u"App_Common";

// `priv_type` -> privilege name; 0 stands for the restore and backup pair and has no single name.
constexpr std::array<std::u16string_view, 36> kPrivilegeNames = {
    u"",
    u"SeAssignPrimaryTokenPrivilege",
    u"SeAuditPrivilege",
    u"SeBackupPrivilege",
    u"SeChangeNotifyPrivilege",
    u"SeCreateGlobalPrivilege",
    u"SeCreatePagefilePrivilege",
    u"SeCreatePermanentPrivilege",
    u"SeCreateSymbolicLinkPrivilege",
    u"SeCreateTokenPrivilege",
    u"SeDebugPrivilege",
    u"SeEnableDelegationPrivilege",
    u"SeImpersonatePrivilege",
    u"SeIncreaseBasePriorityPrivilege",
    u"SeIncreaseQuotaPrivilege",
    u"SeIncreaseWorkingSetPrivilege",
    u"SeLoadDriverPrivilege",
    u"SeLockMemoryPrivilege",
    u"SeMachineAccountPrivilege",
    u"SeManageVolumePrivilege",
    u"SeProfileSingleProcessPrivilege",
    u"SeRelabelPrivilege",
    u"SeRemoteShutdownPrivilege",
    u"SeRestorePrivilege",
    u"SeSecurityPrivilege",
    u"SeShutdownPrivilege",
    u"SeSyncAgentPrivilege",
    u"SeSystemEnvironmentPrivilege",
    u"SeSystemProfilePrivilege",
    u"SeSystemtimePrivilege",
    u"SeTakeOwnershipPrivilege",
    u"SeTcbPrivilege",
    u"SeTimeZonePrivilege",
    u"SeTrustedCredManAccessPrivilege",
    u"SeUndockPrivilege",
    u"SeUnsolicitedInputPrivilege",
};

constexpr std::u16string_view kRestoreName = u"SeRestorePrivilege";
constexpr std::u16string_view kBackupName = u"SeBackupPrivilege";
// The whole 100-entry buffer, whatever a request uses of it.
constexpr platform::DWORD kTokenPrivilegesBytes = sizeof(platform::TOKEN_PRIVILEGES);

// The ANSI form an "A" call takes (privilege and computer names are plain ASCII in practice).
std::string Ansi(std::u16string_view text) {
  if (text.empty()) return {};
  const int len = static_cast<int>(text.size());
  const int n = OS().sys.WideCharToMultiByte(0, 0, text.data(), len, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return Utf8(text);
  std::string out(static_cast<std::size_t>(n), '\0');
  OS().sys.WideCharToMultiByte(0, 0, text.data(), len, out.data(), n, nullptr, nullptr);
  return out;
}

// An API-error entry when the system left an error; a plain entry otherwise, so that the
// reason for giving up is always in the log.
void LogFailure(const Proc& p, std::u16string_view msg, std::u16string_view vars) {
  if (p.LogAPI(msg, vars) == 0) p.Log(msg, debug::Event_Normal, vars);
}

// Steps 2-7 of SetPrivilegeToken on an opened token; returns the result.
bool AdjustOwnedPrivilege(const Proc& p, platform::HANDLE token, const Value& calling_proc_id,
                          std::int32_t priv_type, bool enable_privilege) {
  PrivilegeState& st = Ctx().privileges;
  const std::u16string system_name;  // always the local system
  const std::u16string caller = debug::ValueToText(calling_proc_id);
  auto tp = std::make_unique<platform::TOKEN_PRIVILEGES>();

  // 2. The buffer.
  std::u16string token_name;
  if (priv_type >= 1 && priv_type <= kPrivType_Last) {
    token_name = std::u16string(kPrivilegeNames[static_cast<std::size_t>(priv_type)]);
    GetLUIDForPrivilege(token_name, st.luid_slots[token_name], *tp, system_name);
  } else if (priv_type == kPrivType_RestoreAndBackup) {
    token_name = std::u16string(kRestoreName) + u"_" + std::u16string(kBackupName);
    const std::pair<std::u16string_view, const char16_t*> pair[] = {
        {kRestoreName, u"SE_RESTORE_NAME"}, {kBackupName, u"SE_BACKUP_NAME"}};
    for (const auto& [name, constant] : pair) {
      const std::u16string key(name);
      // Looked up into its slot but not remembered: the pair asks again next time unless a
      // single request has remembered the name meanwhile.
      if (st.looked_up.contains(key)) continue;
      const std::string ansi = Ansi(key);
      if (!OS().sec.LookupPrivilegeValueA(nullptr, ansi.c_str(), &st.luid_slots[key])) {
        p.LogAPI(u"LookupPrivilegeValueA Failure",
                 debug::VarsToText({u"sSystemName", system_name, constant, key}));
        return false;
      }
    }
    tp->PrivilegeCount = 2;
    tp->Privileges[0].Luid = st.luid_slots[std::u16string(kRestoreName)];
    tp->Privileges[1].Luid = st.luid_slots[std::u16string(kBackupName)];
  }
  if (tp->PrivilegeCount == 0) {
    LogFailure(p, u"Aborting; GetLUIDForPrivilege/LookupPrivilegeValueA Failure",
               debug::VarsToText({u"sSystemName", system_name, u"sTokenName", token_name}));
    return false;
  }

  // 3. Only the procedure that enabled a privilege may disable it.
  const auto owner = st.enabled_by.find(token_name);
  const bool was_key = owner != st.enabled_by.end();
  bool remove_key = false;
  if (was_key) {
    if (enable_privilege) {
      p.Log(u"Privilege should already be enabled but is NOT; continuing to enable...");
    } else if (!StringMatch(owner->second, caller)) {
      p.Log(u"Aborting; call to disable privilege was NOT made by the originating procedure!",
            debug::Event_Normal,
            debug::VarsToText({u"sTokenName", token_name, u"sOwner", owner->second}));
      return false;
    } else {
      p.Log(
          u"Continuing to disable privilege; call to disable privilege was made by the "
          u"originating procedure.");
      remove_key = true;
    }
  }

  // 4.-5. Every entry enabled or disabled.
  if (tp->PrivilegeCount < 1) {
    p.Log(u"No token count!");
    return false;
  }
  for (platform::DWORD i = 0; i < tp->PrivilegeCount; ++i)
    tp->Privileges[i].Attributes =
        enable_privilege ? platform::DWORD{platform::kSE_PRIVILEGE_ENABLED} : platform::DWORD{0};

  // 6. The adjustment itself.
  if (!OS().sec.AdjustTokenPrivileges(token, 0, tp.get(), kTokenPrivilegesBytes, nullptr,
                                      nullptr)) {
    p.LogAPI(u"AdjustTokenPrivileges Failure");
    return false;
  }

  // 7. A successful call still says whether every privilege was there to adjust.
  const std::int32_t check_api_error = p.LogAPI(u"AdjustTokenPrivileges Success");
  if (check_api_error == 0) {
    if (enable_privilege) {
      if (!was_key) {
        st.enabled_by.emplace(token_name, caller);
        p.Log(u"Added to enabled privilege collection.");
      } else {
        p.Log(u"Not updating existing item within the enabled privilege collection.");
      }
    } else if (remove_key) {
      p.Log(u"Flagged to remove from enabled privilege collection.");
      p.Log(u"Removing from enabled privilege collection.");
      st.enabled_by.erase(token_name);
    } else {
      p.Log(u"Not flagged to remove from enabled privilege collection.");
    }
    p.Log(u"Complete Success (All privileges were adjusted.)");
    return true;
  }
  if (check_api_error == static_cast<std::int32_t>(platform::kERROR_NOT_ALL_ASSIGNED)) {
    p.Log(u"Failure (Not all privileges were adjusted.)", debug::Event_Normal,
          debug::VarsToText({u"sTokenName", token_name}));
    return false;
  }
  p.Log(u"Unknown Failure (AdjustTokenPrivileges Function Success.)", debug::Event_Normal,
        debug::VarsToText({u"lCheckAPIError", check_api_error}));
  return false;
}

}  // namespace

std::u16string_view PrivilegeName(std::int32_t priv_type) {
  if (priv_type < 1 || priv_type > kPrivType_Last) return {};
  return kPrivilegeNames[static_cast<std::size_t>(priv_type)];
}

bool SetPrivilegeToken(const Value& calling_proc_id, std::int32_t priv_type,
                       bool enable_privilege) {
  Proc p(kModule, u"SetPrivilegeToken", Kind::Function);
  p.Args({u"vCallingProc_pID", calling_proc_id, u"PrivType", priv_type, u"bEnablePrivilege",
          enable_privilege});
  bool result = false;
  platform::UniqueToken token(OS());
  // A token that does not open shows up as a failed adjustment.
  p.Step([&] {
    if (!OS().sec.OpenProcessToken(platform::kCurrentProcess,
                                   platform::kTOKEN_ADJUST_PRIVILEGES | platform::kTOKEN_QUERY,
                                   token.put()))
      token.release();
  });
  p.Step([&] {
    result = AdjustOwnedPrivilege(p, token.get(), calling_proc_id, priv_type, enable_privilege);
  });
  p.Result(result);
  return result;
}

bool GetLUIDForPrivilege(std::u16string_view privilege_name, platform::LUID& luid,
                         platform::TOKEN_PRIVILEGES& privileges, std::u16string_view system_name) {
  Proc p(kModule, u"GetLUIDForPrivilege", Kind::Function);
  p.Args({u"sSeNameStringConst", privilege_name, u"sSystemName", system_name});
  bool result = false;
  p.Step([&] {
    PrivilegeState& st = Ctx().privileges;
    const std::u16string name(privilege_name);
    if (!st.looked_up.contains(name)) {
      const std::string system = Ansi(system_name);
      const std::string ansi = Ansi(name);
      if (!OS().sec.LookupPrivilegeValueA(system_name.empty() ? nullptr : system.c_str(),
                                          ansi.c_str(), &luid)) {
        p.LogAPI(u"LookupPrivilegeValueA Failure",
                 debug::VarsToText({u"sSystemName", system_name, u"sSeNameStringConst", name}));
        return;
      }
      st.looked_up.insert(name);
    }
    if (privileges.PrivilegeCount >= platform::kTokenPrivilegesCapacity) {
      p.Log(u"The token privileges buffer is full; not added.", debug::Event_Normal,
            debug::VarsToText({u"sSeNameStringConst", name}));
      return;
    }
    platform::LUID_AND_ATTRIBUTES& entry = privileges.Privileges[privileges.PrivilegeCount];
    entry.Luid = luid;
    entry.Attributes = 0;
    ++privileges.PrivilegeCount;
    result = true;
  });
  p.Result(result);
  return result;
}

}  // namespace kes
