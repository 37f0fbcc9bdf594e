// Scenarios "launch-perms" and "launch-perms-child": the process queries, the full launcher and
// the registry DACL merge against the real kernel32/psapi/advapi32.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/env/startup.h"
#include "framework/fs/files.h"
#include "framework/fs/textfile.h"
#include "framework/process/launcher.h"
#include "framework/process/process_queries.h"
#include "framework/registry/permissions.h"
#include "platform/api/security_api.h"
#include "platform/base/u16.h"
#include "platform/unique_handle.h"
#include "tests/e2e/scenarios.h"

namespace kes::win32::e2e {
namespace {

constexpr char16_t kTestKey[] = u"Software\\KestruneE2E\\Perms";

Outcome Fail(const std::string& what) {
  return {false, what};
}

std::u16string ReportFile() {
  return Ctx().env->UserDirBS_CurrentUser_Temp + u"kes-e2e-parent.txt";
}

// The Guests entry the merge added, read back with the real security calls.
bool GuestsMayRead() {
  auto& os = OS();
  platform::UniqueHKey key(os);
  if (os.reg.RegOpenKeyExW(platform::kHKEY_LOCAL_MACHINE, kTestKey, 0, platform::kKEY_READ_CONTROL,
                           key.put()) != 0)
    return false;
  platform::DWORD size = 0;
  os.reg.RegGetKeySecurity(key.get(), platform::kDACL_SECURITY_INFORMATION, nullptr, &size);
  std::vector<std::uint8_t> sd(size);
  if (size == 0 || os.reg.RegGetKeySecurity(key.get(), platform::kDACL_SECURITY_INFORMATION,
                                            sd.data(), &size) != 0)
    return false;
  platform::BOOL present = 0;
  platform::BOOL defaulted = 0;
  platform::PACL acl = nullptr;
  platform::ACL_SIZE_INFORMATION info;
  if (!os.sec.GetSecurityDescriptorDacl(sd.data(), &present, &acl, &defaulted) || !acl ||
      !os.sec.GetAclInformation(acl, &info, sizeof(info), platform::kAclSizeInformation))
    return false;
  std::vector<std::uint8_t> guests(68);
  std::u16string domain(64, u'\0');
  platform::DWORD sid_size = 68;
  platform::DWORD domain_size = 64;
  platform::SID_NAME_USE use = 0;
  if (!os.sec.LookupAccountNameW(nullptr, u"Guests", guests.data(), &sid_size, domain.data(),
                                 &domain_size, &use))
    return false;
  for (platform::DWORD i = 0; i < info.AceCount; ++i) {
    void* ace = nullptr;
    if (!os.sec.GetAce(acl, i, &ace)) return false;
    auto* bytes = static_cast<std::uint8_t*>(ace);
    platform::DWORD mask = 0;
    std::memcpy(&mask, bytes + 4, 4);
    if (bytes[0] == platform::kACCESS_ALLOWED_ACE_TYPE && mask == platform::kKEY_READ &&
        os.sec.EqualSid(bytes + 8, guests.data()))
      return true;
  }
  return false;
}

}  // namespace

Outcome LaunchPermsChild() {
  InitApp(false, u"");
  const auto own = static_cast<std::int32_t>(OS().sys.GetCurrentProcessId());
  SaveTextToFile(ReportFile(), Dec(GetParentPID(own)), true);
  return {true, {}};
}

Outcome LaunchPerms() {
  InitApp(false, u"");
  if (!Ctx().env) return Fail("start-up made no environment");
  auto& os = OS();
  const auto own = static_cast<std::int32_t>(os.sys.GetCurrentProcessId());
  const std::u16string exe = GetPathFromPID(own);
  if (!EqualsNoCase(exe, u"C:\\Tools\\framework_e2e.exe"))
    return Fail("GetPathFromPID of its own ID gave " + Utf8(exe));

  RunXResult r = RunX(Ctx().env->DirBS_System32 + u"cmd.exe", u"/c exit 3", true, false, 0, 0);
  if (!r.bSuccess || r.lExitCode != 3)
    return Fail("RunX of cmd.exe /c exit 3 returned " + std::to_string(r.lExitCode));

  FileDelete(ReportFile());
  r = RunX(exe, u"launch-perms-child", true, false, 60000, 0);
  std::u16string parent = GetFileToString(ReportFile());
  // SaveTextToFile ends the text with CR LF.
  while (!parent.empty() && (parent.back() == u'\n' || parent.back() == u'\r')) parent.pop_back();
  FileDelete(ReportFile());
  if (!r.bSuccess || r.lExitCode != 0) return Fail("the child scenario failed");
  if (parent != Dec(own))
    return Fail("the child's GetParentPID gave " + Utf8(parent) + ", not " + std::to_string(own));

  platform::UniqueHKey key(os);
  if (os.reg.RegCreateKeyExW(platform::kHKEY_LOCAL_MACHINE, kTestKey, nullptr, 0,
                             platform::kKEY_ALL_ACCESS, key.put(), nullptr) != 0)
    return Fail("the test key could not be made");
  key.reset();
  std::u16string account = u"Guests";
  bool allow = true;
  const bool updated = RegSetKeyPermission(platform::kHKEY_LOCAL_MACHINE, kTestKey, account, allow,
                                           platform::kKEY_READ);
  const bool read_back = GuestsMayRead();
  os.reg.RegDeleteKeyExW(platform::kHKEY_LOCAL_MACHINE, kTestKey, 0);
  os.reg.RegDeleteKeyExW(platform::kHKEY_LOCAL_MACHINE, u"Software\\KestruneE2E", 0);
  if (!updated) return Fail("RegSetKeyPermission did not write the DACL");
  if (!read_back) return Fail("the Guests entry is not in the key's DACL");
  return {true, "own path, cmd exit 3, parent ID, DACL entry read back"};
}

}  // namespace kes::win32::e2e
