// Owners and DACLs of the simulated machine: what the security calls read back is what was set,
// and the access check refuses until control is taken, as Windows does.
#include "platform/sim/access_control.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests

class SimLaunchPermsAccess : public MachineTest {
 protected:
  // The binary SID of a well-known one, from the machine's own account lookup.
  std::vector<std::uint8_t> Sid(const char16_t* name) {
    DWORD sid_size = 0;
    DWORD domain_size = 0;
    SID_NAME_USE use = 0;
    EXPECT_FALSE(OS().sec.LookupAccountNameW(nullptr, name, nullptr, &sid_size, nullptr,
                                             &domain_size, &use));
    std::vector<std::uint8_t> sid(sid_size);
    std::u16string domain(domain_size, u'\0');
    EXPECT_TRUE(OS().sec.LookupAccountNameW(nullptr, name, sid.data(), &sid_size, domain.data(),
                                            &domain_size, &use));
    return sid;
  }
  std::optional<sim::SimSecurity> Read(const char16_t* path) {
    DWORD needed = 0;
    const DWORD info = kOWNER_SECURITY_INFORMATION | kDACL_SECURITY_INFORMATION;
    if (OS().fs.GetFileSecurityW(path, info, nullptr, 0, &needed) ||
        m.last_error != kERROR_INSUFFICIENT_BUFFER)
      return std::nullopt;
    std::vector<std::uint8_t> descriptor(needed);
    if (!OS().fs.GetFileSecurityW(path, info, descriptor.data(), needed, &needed))
      return std::nullopt;
    sim::SimSecurity out;
    if (!sim::ReadDescriptor(descriptor.data(), info, out)) return std::nullopt;
    return out;
  }
};

TEST_F(SimLaunchPermsAccess, ProtectedFolderKeepsItsOwnDaclOwnerAndReparseMark) {
  SecurityApi& sec = OS().sec;
  FileApi& fs = OS().fs;
  std::vector<std::uint8_t> admins = Sid(u"Administrators");
  std::vector<std::uint8_t> system = Sid(u"SYSTEM");
  std::vector<std::uint8_t> acl(64);
  ASSERT_TRUE(sec.InitializeAcl(acl.data(), 64, kACL_REVISION));
  const DWORD both = kOBJECT_INHERIT_ACE | kCONTAINER_INHERIT_ACE;
  ASSERT_TRUE(sec.AddAccessAllowedAceEx(acl.data(), kACL_REVISION, both, 0x1F01FF, admins.data()));
  ASSERT_TRUE(sec.AddAccessAllowedAceEx(acl.data(), kACL_REVISION, both, 0x1F01FF, system.data()));
  EXPECT_FALSE(sec.AddAccessAllowedAceEx(acl.data(), kACL_REVISION, both, 1, system.data()));
  EXPECT_EQ(m.last_error, kERROR_ALLOTTED_SPACE_EXCEEDED);
  SECURITY_DESCRIPTOR sd;
  ASSERT_TRUE(sec.InitializeSecurityDescriptor(&sd, kSECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(sec.SetSecurityDescriptorDacl(&sd, 1, acl.data(), 0));
  ASSERT_TRUE(sec.SetSecurityDescriptorControl(&sd, kSE_DACL_PROTECTED, kSE_DACL_PROTECTED));
  SECURITY_ATTRIBUTES sa;
  sa.lpSecurityDescriptor = &sd;
  ASSERT_TRUE(fs.CreateDirectoryW(u"C:\\ProgramData\\Kes", &sa));

  auto folder = Read(u"C:\\ProgramData\\Kes");
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->owner, sim::kSidAdministrators);  // an elevated administrator's default
  EXPECT_TRUE(folder->dacl_protected);
  ASSERT_EQ(folder->dacl.size(), 2u);  // the parent's Users entry did not come in
  EXPECT_EQ(folder->dacl[1],
            (sim::SimAce{0, static_cast<std::uint8_t>(both), 0x1F01FF, sim::kSidSystem}));
  // What is made inside inherits exactly these two.
  ASSERT_TRUE(fs.CreateDirectoryW(u"C:\\ProgramData\\Kes\\Logs"));
  auto inside = Read(u"C:\\ProgramData\\Kes\\Logs");
  ASSERT_TRUE(inside);
  ASSERT_EQ(inside->dacl.size(), 2u);
  EXPECT_TRUE(inside->dacl[0].Inherited());

  // The owner can be given only as a SID of the token, unless restoring is enabled.
  SECURITY_DESCRIPTOR owner_sd;
  ASSERT_TRUE(sec.InitializeSecurityDescriptor(&owner_sd, kSECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(sec.SetSecurityDescriptorOwner(&owner_sd, system.data(), 0));
  EXPECT_FALSE(
      fs.SetFileSecurityW(u"C:\\ProgramData\\Kes", kOWNER_SECURITY_INFORMATION, &owner_sd));
  EXPECT_EQ(m.last_error, kERROR_INVALID_OWNER);
  m.token.privileges[u"SeRestorePrivilege"] = true;
  ASSERT_TRUE(fs.SetFileSecurityW(u"C:\\ProgramData\\Kes", kOWNER_SECURITY_INFORMATION, &owner_sd));
  EXPECT_EQ(Read(u"C:\\ProgramData\\Kes")->owner, sim::kSidSystem);

  // A filtered token holds Administrators for denials only: nothing may be made or read there.
  m.token.elevated = false;
  EXPECT_FALSE(fs.CreateDirectoryW(u"C:\\ProgramData\\Kes\\Other"));
  EXPECT_EQ(m.last_error, kERROR_ACCESS_DENIED);
  EXPECT_FALSE(Read(u"C:\\ProgramData\\Kes"));

  // A junction in place of the folder shows as a reparse point.
  m.fs().SetAttributes(u"C:\\ProgramData\\Kes\\Logs", kFILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_TRUE(fs.GetFileAttributesW(u"C:\\ProgramData\\Kes\\Logs") & kFILE_ATTRIBUTE_REPARSE_POINT);
}

TEST_F(SimLaunchPermsAccess, KeyRefusesChangesUntilControlIsTaken) {
  RegistryApi& reg = OS().reg;
  sim::SimSecurity locked;
  locked.owner = sim::kSidTrustedInstaller;
  locked.dacl = {
      {kACCESS_ALLOWED_ACE_TYPE, kCONTAINER_INHERIT_ACE, kKEY_READ, sim::kSidAdministrators}};
  m.registry().SetValue(kHKEY_LOCAL_MACHINE, u"SYSTEM\\Locked", u"v", kREG_DWORD, {1, 0, 0, 0});
  m.registry().SetSecurity(kHKEY_LOCAL_MACHINE, u"SYSTEM\\Locked", locked);
  HKEY h = 0;
  EXPECT_EQ(reg.RegOpenKeyExW(kHKEY_LOCAL_MACHINE, u"SYSTEM\\Locked", 0, kKEY_SET_VALUE, &h), 5);
  EXPECT_EQ(reg.RegOpenKeyExW(kHKEY_LOCAL_MACHINE, u"SYSTEM\\Locked", 0, kKEY_WRITE_OWNER, &h), 5);

  // Taking ownership, then giving the new owner full control, as a take-control tool does.
  m.token.privileges[u"SeTakeOwnershipPrivilege"] = true;
  ASSERT_EQ(reg.RegOpenKeyExW(kHKEY_LOCAL_MACHINE, u"SYSTEM\\Locked", 0, kKEY_WRITE_OWNER, &h), 0);
  std::vector<std::uint8_t> admins = Sid(u"Administrators");
  SECURITY_DESCRIPTOR sd;
  ASSERT_TRUE(OS().sec.InitializeSecurityDescriptor(&sd, kSECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(OS().sec.SetSecurityDescriptorOwner(&sd, admins.data(), 0));
  EXPECT_EQ(reg.RegSetKeySecurity(h, kDACL_SECURITY_INFORMATION, &sd), 5);  // no WRITE_DAC asked
  ASSERT_EQ(reg.RegSetKeySecurity(h, kOWNER_SECURITY_INFORMATION, &sd), 0);
  reg.RegCloseKey(h);
  ASSERT_EQ(reg.RegOpenKeyExW(kHKEY_LOCAL_MACHINE, u"SYSTEM\\Locked", 0, kKEY_WRITE_DAC, &h), 0);
  std::vector<std::uint8_t> acl(64);
  ASSERT_TRUE(OS().sec.InitializeAcl(acl.data(), 64, kACL_REVISION));
  ASSERT_TRUE(OS().sec.AddAccessAllowedAceEx(acl.data(), kACL_REVISION, kCONTAINER_INHERIT_ACE,
                                             kKEY_ALL_ACCESS, admins.data()));
  ASSERT_TRUE(OS().sec.SetSecurityDescriptorDacl(&sd, 1, acl.data(), 0));
  ASSERT_EQ(reg.RegSetKeySecurity(h, kDACL_SECURITY_INFORMATION, &sd), 0);
  reg.RegCloseKey(h);
  ASSERT_EQ(reg.RegOpenKeyExW(kHKEY_LOCAL_MACHINE, u"SYSTEM\\Locked", 0, kKEY_SET_VALUE, &h), 0);
  EXPECT_EQ(reg.RegDeleteValueW(h, u"v"), 0);
  reg.RegCloseKey(h);
}

}  // namespace
}  // namespace kes
