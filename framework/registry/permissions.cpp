#include "framework/registry/permissions.h"

#include <cstring>

#include "framework/debug/proc.h"
#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/fs/files.h"
#include "framework/process/launcher.h"
#include "framework/registry/access.h"
#include "platform/api/security_api.h"
#include "platform/base/u16.h"
#include "platform/unique_handle.h"

namespace kes {
namespace {

using debug::Kind;
using debug::Proc;
using debug::VarsToText;
using platform::DWORD;

constexpr std::u16string_view kModule = u"App_Common";

const AppEnv* Env() {
  return Ctx().env.get();
}
bool RunsAsSystem() {
  return Env() && Env()->AppInst_IsSystem;
}
std::u16string CurrentUser() {
  return Env() ? Env()->Name_CurrentUser : std::u16string();
}

// A Win32 failure of the native route: a run-time error its procedure's handler logs.
[[noreturn]] void Raise(std::u16string_view api, DWORD error) {
  throw debug::RuntimeErrorException{
      {static_cast<std::int32_t>(error),
       std::u16string(api) + u" failed: " + debug::GetSystemMsg(static_cast<std::int32_t>(error)),
       u"Kestrune"}};
}
[[noreturn]] void RaiseLast(std::u16string_view api) {
  Raise(api, OS().sys.GetLastError());
}

// The second rule of both: an empty permission account after the owner is known.
void FillPermName(const std::u16string& owner, std::u16string& perm) {
  if (!perm.empty()) return;
  const std::u16string o = LowerCase(Trim(owner));
  perm = (o == u"administrators" || o == u"system" || RunsAsSystem()) ? u"Everyone" : owner;
}

void FillAsFiles(std::u16string& owner, std::u16string& perm) {
  if (owner.empty()) {
    owner = RunsAsSystem() ? u"System" : CurrentUser();
    perm = RunsAsSystem() ? u"Everyone" : CurrentUser();
    return;
  }
  FillPermName(owner, perm);
}

// One run of the tool, waited for, its outcome left to the caller's retry.
void RunTool(std::u16string_view args, std::int32_t show_type) {
  RunX(Env()->EXE_SubInACL, args, true, false, 0, show_type);
}

// The old DACL of a descriptor as a list of ACE addresses, split where the inherited ones start.
struct OldAces {
  std::vector<const std::uint8_t*> explicit_aces;
  std::vector<const std::uint8_t*> inherited_aces;
};

}  // namespace

void EnsurePermissionUsersForFileFunctions(std::u16string& take_owner_name,
                                           std::u16string& take_perm_name) {
  Proc p(kModule, u"EnsurePermissionUsersForFileFunctions", Kind::Sub);
  p.ByRef({u"sTakeOwnerName", take_owner_name, u"sTakePermName", take_perm_name});
  p.Step([&] { FillAsFiles(take_owner_name, take_perm_name); });
  p.ReturnedByRef({u"sTakeOwnerName", take_owner_name, u"sTakePermName", take_perm_name});
}

void EnsurePermissionUsersForRegFunctions(platform::HKEY root, std::u16string& take_owner_name,
                                          std::u16string& take_perm_name) {
  Proc p(kModule, u"EnsurePermissionUsersForRegFunctions", Kind::Sub);
  p.Args({u"eHKEY", GetHKEYName(root, true)});
  p.ByRef({u"sTakeOwnerName", take_owner_name, u"sTakePermName", take_perm_name});
  p.Step([&] {
    if (root == platform::kHKEY_CURRENT_USER) {
      FillAsFiles(take_owner_name, take_perm_name);
      return;
    }
    if (take_owner_name.empty()) take_owner_name = u"administrators";
    FillPermName(take_owner_name, take_perm_name);
  });
  p.ReturnedByRef({u"sTakeOwnerName", take_owner_name, u"sTakePermName", take_perm_name});
}

void TakeControlReg(platform::HKEY root, std::u16string_view reg_sub_key,
                    std::u16string& take_owner_name, std::u16string& take_perm_name) {
  Proc p(kModule, u"TakeControlReg", Kind::Sub);
  p.Args({u"eHKEY", GetHKEYName(root, true), u"sRegSubKey", reg_sub_key});
  p.ByRef({u"sTakeOwnerName", take_owner_name, u"sTakePermName", take_perm_name});
  p.Step([&] {
    if (!Env() || Env()->EXE_SubInACL.empty()) {
      p.Log(u"subinacl.exe not found; ownership and permissions left unchanged");
      return;
    }
    std::u16string key = UpperCase(GetHKEYName(root, false));
    if (key.empty()) return;
    if (!reg_sub_key.empty()) key += u"\\" + std::u16string(reg_sub_key);
    EnsurePermissionUsersForRegFunctions(root, take_owner_name, take_perm_name);
    const std::u16string quoted = u"\"" + key + u"\"";
    // The tool shows no window of its own worth seeing.
    for (std::u16string_view scope : {u"/keyreg ", u"/subkeyreg "}) {
      std::u16string owner_command(scope);
      owner_command += quoted + u" /setowner=";
      owner_command += take_owner_name;
      RunTool(owner_command, 0);
      std::u16string grant_command(scope);
      grant_command += quoted + u" /grant=";
      grant_command += take_perm_name;
      grant_command += u"=f";
      RunTool(grant_command, 0);
    }
  });
  p.ReturnedByRef({u"sTakeOwnerName", take_owner_name, u"sTakePermName", take_perm_name});
}

void TakeControl(std::u16string_view file_or_dir, bool include_sub_dirs, std::int32_t show_type,
                 std::u16string& take_owner_name, std::u16string& take_perm_name) {
  Proc p(kModule, u"TakeControl", Kind::Sub);
  p.Args(
      {u"sFileOrDir", file_or_dir, u"bIncludeSubDirs", include_sub_dirs, u"ShowType", show_type});
  p.ByRef({u"sTakeOwnerName", take_owner_name, u"sTakePermName", take_perm_name});
  p.Step([&] {
    if (!Env() || Env()->EXE_SubInACL.empty()) {
      p.Log(u"subinacl.exe not found; ownership and permissions left unchanged");
      return;
    }
    EnsurePermissionUsersForFileFunctions(take_owner_name, take_perm_name);
    std::u16string path(file_or_dir);
    while (path.ends_with(u'\\')) path.pop_back();
    const auto both = [&](const std::u16string& scope_and_object) {
      RunTool(scope_and_object + u" /setowner=" + take_owner_name, show_type);
      RunTool(scope_and_object + u" /grant=" + take_perm_name + u"=F", show_type);
    };
    if (!IsDir(path)) {
      if (path.size() > 3) {
        const std::size_t slash = path.rfind(u'\\');
        const std::u16string parent =
            slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
        both(u"/file \"" + parent + u"\"");
      }
      both(u"/file \"" + path + u"\"");
    } else if (include_sub_dirs) {
      both(u"/file \"" + path + u"\"");
      both(u"/subdirectories \"" + path + u"\\*.*\"");
    }
  });
  p.ReturnedByRef({u"sTakeOwnerName", take_owner_name, u"sTakePermName", take_perm_name});
}

bool GetRegKeyPermissions(platform::HKEY root, std::u16string_view sub_key) {
  Proc p(kModule, u"GetRegKeyPermissions", Kind::Function);
  p.Args({u"eHKEY", GetHKEYName(root, true), u"sSubKey", sub_key});
  bool any_failed = false;
  for (const char16_t* name : {u"", u"System", u"Administrators", u"Power Users", u"users"}) {
    std::u16string account = name;
    bool allow = true;
    bool granted = false;
    p.Step([&] {
      granted = RegSetKeyPermission(root, sub_key, account, allow, platform::kKEY_ALL_ACCESS);
    });
    if (!granted) any_failed = true;
  }
  p.Result(any_failed);
  return any_failed;
}

bool RegSetKeyPermission(platform::HKEY root, std::u16string_view sub_key,
                         std::u16string& account_name, bool& allow_access, DWORD access_rights) {
  Proc p(kModule, u"RegSetKeyPermission", Kind::Function);
  p.Args({u"eHKEY", GetHKEYName(root, true), u"sSubKey", sub_key, u"eAccessRights",
          static_cast<std::int32_t>(access_rights)});
  p.ByRef({u"sAccountName", account_name, u"bAllowAccess", allow_access});
  bool result = false;
  p.Step([&] {
    if (account_name.empty()) account_name = CurrentUser();
    platform::UniqueHKey key(OS());
    const std::u16string sub(sub_key);
    const platform::LONG opened = OS().reg.RegOpenKeyExW(
        root, sub.c_str(), 0, platform::kKEY_READ_CONTROL | platform::kKEY_WRITE_DAC, key.put());
    if (opened != 0) {
      OS().sys.SetLastError(static_cast<DWORD>(opened));
      p.LogAPI(u"RegOpenKeyExW", VarsToText({u"sSubKey", sub}));
      return;
    }
    std::vector<PermissionRecord> records(1);
    records[0].account_name = account_name;
    records[0].access_mask = access_rights;
    records[0].inheritance = platform::kCONTAINER_INHERIT_ACE;
    records[0].kind = allow_access ? 0 : 1;
    result = UpdatePermissionsOfRegistryKey(key.get(), records);
  });
  p.ReturnedByRef({u"sAccountName", account_name, u"bAllowAccess", allow_access});
  p.Result(result);
  return result;
}

bool IsEqual(const std::vector<PermissionRecord>& records, const void* sid) {
  for (const PermissionRecord& r : records) {
    if (!r.sid.empty() &&
        OS().sec.EqualSid(const_cast<std::uint8_t*>(r.sid.data()), const_cast<void*>(sid)))
      return true;
  }
  return false;
}

bool ConstructAndAddAce(void* acl, std::uint8_t ace_type, std::uint8_t ace_flags, DWORD access_mask,
                        const void* sid) {
  auto& sec = OS().sec;
  const DWORD sid_length = sec.GetLengthSid(const_cast<void*>(sid));
  std::vector<std::uint8_t> ace(8 + sid_length);
  const auto size = static_cast<platform::WORD>(ace.size());
  ace[0] = ace_type;
  ace[1] = ace_flags;
  std::memcpy(ace.data() + 2, &size, 2);
  std::memcpy(ace.data() + 4, &access_mask, 4);
  std::memcpy(ace.data() + 8, sid, sid_length);
  if (sec.AddAce(acl, platform::kACL_REVISION, platform::kMAXDWORD, ace.data(), size)) return true;
  debug::dLogAPI(-1, u"App_Common.ConstructAndAddAce: AddAce");
  return false;
}

namespace {

// The new absolute descriptor and the ACL it points to.
struct NewDescriptor {
  platform::SECURITY_DESCRIPTOR sd;
  std::vector<std::uint8_t> acl;
};

// The ACL builder: `old` is the key's current descriptor (DACL part).
void BuildDescriptor(void* old, std::vector<PermissionRecord>& records, NewDescriptor& out) {
  auto& sec = OS().sec;
  if (!sec.InitializeSecurityDescriptor(&out.sd, platform::kSECURITY_DESCRIPTOR_REVISION))
    RaiseLast(u"InitializeSecurityDescriptor");
  platform::BOOL present = 0;
  platform::BOOL defaulted = 0;
  platform::PACL old_acl = nullptr;
  if (!sec.GetSecurityDescriptorDacl(old, &present, &old_acl, &defaulted))
    RaiseLast(u"GetSecurityDescriptorDacl");
  platform::ACL_SIZE_INFORMATION info;
  info.AclBytesInUse = 8;  // a missing DACL adds nothing
  if (old_acl &&
      !sec.GetAclInformation(old_acl, &info, sizeof(info), platform::kAclSizeInformation))
    RaiseLast(u"GetAclInformation");

  DWORD needed = 0;
  for (PermissionRecord& r : records) {
    DWORD sid_size = 0;
    DWORD domain_size = 0;
    platform::SID_NAME_USE use = 0;
    sec.LookupAccountNameW(nullptr, r.account_name.c_str(), nullptr, &sid_size, nullptr,
                           &domain_size, &use);
    if (sid_size == 0) RaiseLast(u"LookupAccountNameW");
    r.sid.assign(sid_size, 0);
    std::u16string domain(domain_size, u'\0');
    if (!sec.LookupAccountNameW(nullptr, r.account_name.c_str(), r.sid.data(), &sid_size,
                                domain.data(), &domain_size, &use))
      RaiseLast(u"LookupAccountNameW");
    needed += 8 + sec.GetLengthSid(r.sid.data());
  }

  out.acl.assign(info.AclBytesInUse + needed, 0);
  if (!sec.InitializeAcl(out.acl.data(), static_cast<DWORD>(out.acl.size()),
                         platform::kACL_REVISION))
    RaiseLast(u"InitializeAcl");

  OldAces old_aces;
  for (DWORD i = 0; old_acl && i < info.AceCount; ++i) {
    void* ace = nullptr;
    if (!sec.GetAce(old_acl, i, &ace)) RaiseLast(u"GetAce");
    const auto* bytes = static_cast<const std::uint8_t*>(ace);
    const bool inherited =
        (bytes[1] & platform::kINHERITED_ACE) || !old_aces.inherited_aces.empty();
    (inherited ? old_aces.inherited_aces : old_aces.explicit_aces).push_back(bytes);
  }
  const auto copy = [&](const std::uint8_t* ace) {
    platform::WORD size = 0;
    std::memcpy(&size, ace + 2, 2);
    if (!sec.AddAce(out.acl.data(), platform::kACL_REVISION, platform::kMAXDWORD, ace, size))
      RaiseLast(u"AddAce");
  };
  const auto add_records = [&](std::uint8_t kind) {
    for (const PermissionRecord& r : records) {
      if (r.kind == kind)
        ConstructAndAddAce(out.acl.data(), kind, r.inheritance, r.access_mask, r.sid.data());
    }
  };
  add_records(platform::kACCESS_DENIED_ACE_TYPE);
  for (const std::uint8_t* ace : old_aces.explicit_aces) {
    if (!IsEqual(records, ace + 8)) copy(ace);
  }
  add_records(platform::kACCESS_ALLOWED_ACE_TYPE);
  for (const std::uint8_t* ace : old_aces.inherited_aces) copy(ace);

  platform::WORD control = 0;
  DWORD revision = 0;
  if (!sec.GetSecurityDescriptorControl(old, &control, &revision))
    RaiseLast(u"GetSecurityDescriptorControl");
  constexpr platform::WORD kCarried =
      platform::kSE_DACL_AUTO_INHERITED | platform::kSE_DACL_PROTECTED;
  if (!sec.SetSecurityDescriptorControl(&out.sd, kCarried, control & kCarried))
    RaiseLast(u"SetSecurityDescriptorControl");
  if (!sec.SetSecurityDescriptorDacl(&out.sd, 1, out.acl.data(), 0))
    RaiseLast(u"SetSecurityDescriptorDacl");
}

}  // namespace

bool UpdatePermissionsOfRegistryKey(platform::HKEY key, std::vector<PermissionRecord>& records) {
  Proc p(kModule, u"UpdatePermissionsOfRegistryKey", Kind::Function);
  p.Log(u"Shouldn't hKey be passed ByRef?", debug::Event_Verbose);
  bool result = false;
  p.Step([&] {
    auto& reg = OS().reg;
    DWORD size = 0;
    reg.RegGetKeySecurity(key, platform::kDACL_SECURITY_INFORMATION, nullptr, &size);
    if (size == 0) Raise(u"RegGetKeySecurity", platform::kERROR_INVALID_PARAMETER);
    std::vector<std::uint8_t> old(size, 0);
    if (const platform::LONG s =
            reg.RegGetKeySecurity(key, platform::kDACL_SECURITY_INFORMATION, old.data(), &size))
      Raise(u"RegGetKeySecurity", static_cast<DWORD>(s));
    NewDescriptor made;
    BuildDescriptor(old.data(), records, made);
    if (const platform::LONG s =
            reg.RegSetKeySecurity(key, platform::kDACL_SECURITY_INFORMATION, &made.sd))
      Raise(u"RegSetKeySecurity", static_cast<DWORD>(s));
    result = true;
  });
  p.Result(result);
  return result;
}

}  // namespace kes
