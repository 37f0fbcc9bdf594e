// Taking control of keys and files: the tool's exact command lines, the DACL merge's order, and
// the one retry of a refused delete, with and without the tool.
#include "framework/registry/permissions.h"
#include "framework/registry/access.h"
#include "platform/sim/access_control.h"
#include "platform/sim/tool_subinacl.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests

constexpr char16_t kTool[] = u"C:\\Program Files (x86)\\Windows Resource Kits\\Tools\\subinacl.exe";
constexpr char16_t kKey[] = u"SYSTEM\\Locked";

class LaunchPermsAcl : public MachineTest {
 protected:
  LaunchPermsAcl() {
    AppEnv& e = StartupFacts();
    e.Name_CurrentUser = u"Admin";
    e.AppInst_IsAdmin = true;
    sim::SimSecurity locked;
    locked.owner = sim::kSidTrustedInstaller;
    locked.dacl = {
        {kACCESS_ALLOWED_ACE_TYPE, kCONTAINER_INHERIT_ACE, kKEY_READ, sim::kSidAdministrators}};
    m.registry().SetDword(kHKEY_LOCAL_MACHINE, kKey, u"Stale", 1);
    m.registry().SetSecurity(kHKEY_LOCAL_MACHINE, kKey, locked);
  }
  void WithTool() {
    sim::InstallSubInAcl(m, kTool);
    Ctx().env->EXE_SubInACL = kTool;
  }
  std::vector<std::u16string> ToolRuns() const {
    std::vector<std::u16string> runs;
    for (const std::u16string& line : m.started_command_lines)
      if (line.find(u"subinacl") != std::u16string::npos)
        runs.push_back(line.substr(line.find(u".exe") + 5));
    return runs;
  }
};

TEST_F(LaunchPermsAcl, ARefusedDeleteSucceedsAfterTakingControl) {
  WithTool();
  EXPECT_TRUE(RegDeleteValue(kHKEY_LOCAL_MACHINE, kKey, u"Stale"));
  EXPECT_FALSE(m.registry().GetValue(kHKEY_LOCAL_MACHINE, kKey, u"Stale"));
  EXPECT_EQ(ToolRuns(),
            (std::vector<std::u16string>{
                u"/keyreg \"HKEY_LOCAL_MACHINE\\SYSTEM\\Locked\" /setowner=administrators",
                u"/keyreg \"HKEY_LOCAL_MACHINE\\SYSTEM\\Locked\" /grant=Everyone=f",
                u"/subkeyreg \"HKEY_LOCAL_MACHINE\\SYSTEM\\Locked\" /setowner=administrators",
                u"/subkeyreg \"HKEY_LOCAL_MACHINE\\SYSTEM\\Locked\" /grant=Everyone=f"}));
  EXPECT_EQ(m.registry().GetSecurity(kHKEY_LOCAL_MACHINE, kKey)->owner, sim::kSidAdministrators);
  EXPECT_TRUE(LogHas(u"Delete registry value success!  (after fail/take control/retry!)"));

  // Files: the parent folder first, then the file; a root-level path has no parent run.
  m.fs().AddFile(u"C:\\x.txt", std::string_view("x"));
  m.started_command_lines.clear();
  std::u16string owner, perm;
  TakeControl(u"C:\\x.txt", false, 0, owner, perm);
  EXPECT_EQ(ToolRuns(),
            (std::vector<std::u16string>{
                u"/file \"C:\" /setowner=Admin", u"/file \"C:\" /grant=Admin=F",
                u"/file \"C:\\x.txt\" /setowner=Admin", u"/file \"C:\\x.txt\" /grant=Admin=F"}));
}

TEST_F(LaunchPermsAcl, WithoutTheToolTheDeleteFailsOnceAndNothingChanges) {
  const sim::SimSecurity before = *m.registry().GetSecurity(kHKEY_LOCAL_MACHINE, kKey);
  EXPECT_FALSE(RegDeleteValue(kHKEY_LOCAL_MACHINE, kKey, u"Stale"));
  EXPECT_TRUE(m.registry().GetValue(kHKEY_LOCAL_MACHINE, kKey, u"Stale"));
  EXPECT_EQ(*m.registry().GetSecurity(kHKEY_LOCAL_MACHINE, kKey), before);
  EXPECT_EQ(LogCount(u"Attempting to obtain ownership/permissions over the registry key"), 1);
  EXPECT_TRUE(m.started_command_lines.empty());
}

TEST_F(LaunchPermsAcl, TheMergePutsDenialsFirstReplacesTheSidsEntryAndKeepsInheritedLast) {
  sim::SimSecurity s;
  s.owner = sim::kSidAdministrators;
  s.dacl = {{kACCESS_ALLOWED_ACE_TYPE, 0, kKEY_READ, sim::kSidUsers},
            {kACCESS_ALLOWED_ACE_TYPE, 0, kKEY_READ, sim::kSidAdministrators},
            {kACCESS_ALLOWED_ACE_TYPE, kINHERITED_ACE, kKEY_ALL_ACCESS, sim::kSidSystem}};
  m.registry().SetSecurity(kHKEY_LOCAL_MACHINE, u"SYSTEM\\Merge", s);
  std::u16string admins = u"Administrators";
  std::u16string guests = u"Guests";
  bool allow = true;
  bool deny = false;
  ASSERT_TRUE(
      RegSetKeyPermission(kHKEY_LOCAL_MACHINE, u"SYSTEM\\Merge", admins, allow, kKEY_ALL_ACCESS));
  ASSERT_TRUE(RegSetKeyPermission(kHKEY_LOCAL_MACHINE, u"SYSTEM\\Merge", guests, deny, kKEY_READ));
  const std::vector<sim::SimAce> expected = {
      {kACCESS_DENIED_ACE_TYPE, kCONTAINER_INHERIT_ACE, kKEY_READ, sim::kSidGuests},
      {kACCESS_ALLOWED_ACE_TYPE, 0, kKEY_READ, sim::kSidUsers},
      {kACCESS_ALLOWED_ACE_TYPE, kCONTAINER_INHERIT_ACE, kKEY_ALL_ACCESS, sim::kSidAdministrators},
      {kACCESS_ALLOWED_ACE_TYPE, kINHERITED_ACE, kKEY_ALL_ACCESS, sim::kSidSystem}};
  EXPECT_EQ(m.registry().GetSecurity(kHKEY_LOCAL_MACHINE, u"SYSTEM\\Merge")->dacl, expected);
  // All five grants fail on a key the token may not change.
  EXPECT_TRUE(GetRegKeyPermissions(kHKEY_LOCAL_MACHINE, kKey));
}

}  // namespace
}  // namespace kes
