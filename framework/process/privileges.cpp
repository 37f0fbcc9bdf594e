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

// PrivType -> privilege name; 0 stands for the restore and backup pair and has no single name.
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
bool AdjustOwnedPrivilege(const Proc& p, platform::HANDLE hToken, const Value& vCallingProc_pID,
                          std::int32_t PrivType, bool bEnablePrivilege) {
  PrivilegeState& st = Ctx().privileges;
  const std::u16string sSystemName;  // always the local system
  const std::u16string caller = debug::ValueToText(vCallingProc_pID);
  auto tp = std::make_unique<platform::TOKEN_PRIVILEGES>();

  // 2. The buffer.
  std::u16string sTokenName;
  if (PrivType >= 1 && PrivType <= kPrivType_Last) {
    sTokenName = std::u16string(kPrivilegeNames[static_cast<std::size_t>(PrivType)]);
    GetLUIDForPrivilege(sTokenName, st.luid_slots[sTokenName], *tp, sSystemName);
  } else if (PrivType == kPrivType_RestoreAndBackup) {
    sTokenName = std::u16string(kRestoreName) + u"_" + std::u16string(kBackupName);
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
                 debug::VarsToText({u"sSystemName", sSystemName, constant, key}));
        return false;
      }
    }
    tp->PrivilegeCount = 2;
    tp->Privileges[0].Luid = st.luid_slots[std::u16string(kRestoreName)];
    tp->Privileges[1].Luid = st.luid_slots[std::u16string(kBackupName)];
  }
  if (tp->PrivilegeCount == 0) {
    LogFailure(p, u"Aborting; GetLUIDForPrivilege/LookupPrivilegeValueA Failure",
               debug::VarsToText({u"sSystemName", sSystemName, u"sTokenName", sTokenName}));
    return false;
  }

  // 3. Only the procedure that enabled a privilege may disable it.
  const auto owner = st.enabled_by.find(sTokenName);
  const bool was_key = owner != st.enabled_by.end();
  bool remove_key = false;
  if (was_key) {
    if (bEnablePrivilege) {
      p.Log(u"Privilege should already be enabled but is NOT; continuing to enable...");
    } else if (!StringMatch(owner->second, caller)) {
      p.Log(u"Aborting; call to disable privilege was NOT made by the originating procedure!",
            debug::Event_Normal,
            debug::VarsToText({u"sTokenName", sTokenName, u"sOwner", owner->second}));
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
        bEnablePrivilege ? platform::DWORD{platform::kSE_PRIVILEGE_ENABLED} : platform::DWORD{0};

  // 6. The adjustment itself.
  if (!OS().sec.AdjustTokenPrivileges(hToken, 0, tp.get(), kTokenPrivilegesBytes, nullptr,
                                      nullptr)) {
    p.LogAPI(u"AdjustTokenPrivileges Failure");
    return false;
  }

  // 7. A successful call still says whether every privilege was there to adjust.
  const std::int32_t lCheckAPIError = p.LogAPI(u"AdjustTokenPrivileges Success");
  if (lCheckAPIError == 0) {
    if (bEnablePrivilege) {
      if (!was_key) {
        st.enabled_by.emplace(sTokenName, caller);
        p.Log(u"Added to enabled privilege collection.");
      } else {
        p.Log(u"Not updating existing item within the enabled privilege collection.");
      }
    } else if (remove_key) {
      p.Log(u"Flagged to remove from enabled privilege collection.");
      p.Log(u"Removing from enabled privilege collection.");
      st.enabled_by.erase(sTokenName);
    } else {
      p.Log(u"Not flagged to remove from enabled privilege collection.");
    }
    p.Log(u"Complete Success (All privileges were adjusted.)");
    return true;
  }
  if (lCheckAPIError == static_cast<std::int32_t>(platform::kERROR_NOT_ALL_ASSIGNED)) {
    p.Log(u"Failure (Not all privileges were adjusted.)", debug::Event_Normal,
          debug::VarsToText({u"sTokenName", sTokenName}));
    return false;
  }
  p.Log(u"Unknown Failure (AdjustTokenPrivileges Function Success.)", debug::Event_Normal,
        debug::VarsToText({u"lCheckAPIError", lCheckAPIError}));
  return false;
}

}  // namespace

std::u16string_view PrivilegeName(std::int32_t PrivType) {
  if (PrivType < 1 || PrivType > kPrivType_Last) return {};
  return kPrivilegeNames[static_cast<std::size_t>(PrivType)];
}

bool SetPrivilegeToken(const Value& vCallingProc_pID, std::int32_t PrivType,
                       bool bEnablePrivilege) {
  Proc p(kModule, u"SetPrivilegeToken", Kind::Function);
  p.Args({u"vCallingProc_pID", vCallingProc_pID, u"PrivType", PrivType, u"bEnablePrivilege",
          bEnablePrivilege});
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
    result = AdjustOwnedPrivilege(p, token.get(), vCallingProc_pID, PrivType, bEnablePrivilege);
  });
  p.Result(result);
  return result;
}

bool GetLUIDForPrivilege(std::u16string_view sSeNameStringConst, platform::LUID& luid,
                         platform::TOKEN_PRIVILEGES& privileges, std::u16string_view sSystemName) {
  Proc p(kModule, u"GetLUIDForPrivilege", Kind::Function);
  p.Args({u"sSeNameStringConst", sSeNameStringConst, u"sSystemName", sSystemName});
  bool result = false;
  p.Step([&] {
    PrivilegeState& st = Ctx().privileges;
    const std::u16string name(sSeNameStringConst);
    if (!st.looked_up.contains(name)) {
      const std::string system = Ansi(sSystemName);
      const std::string ansi = Ansi(name);
      if (!OS().sec.LookupPrivilegeValueA(sSystemName.empty() ? nullptr : system.c_str(),
                                          ansi.c_str(), &luid)) {
        p.LogAPI(u"LookupPrivilegeValueA Failure",
                 debug::VarsToText({u"sSystemName", sSystemName, u"sSeNameStringConst", name}));
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
