// The environment object's own operations after start-up: the user lists from the profile
// folders and from WMI, the offline-partition and newer-version tests, the purge of the
// configuration folder, the facts that take only their first value, the clean-up, and whether
// the program's folder is writable.
#include "framework/env/wmi.h"
#include "platform/sim/accounts.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using Names = std::vector<std::u16string>;

class EnvObjectEnvSearch : public MachineTest {
 protected:
  EnvObjectEnvSearch() { Start(); }
  void AddAccount(std::u16string name, bool disabled = false, platform::DWORD sid_type = 1,
                  platform::DWORD account_type = 512, std::u16string status = u"OK") {
    sim::SimAccount a{name, u"", disabled};
    a.wmi_sid_type = sid_type;
    a.wmi_account_type = account_type;
    a.wmi_status = std::move(status);
    m.accounts[LowerCase(name)] = a;
  }
};

TEST_F(EnvObjectEnvSearch, ProfileFoldersWithAndWithoutTheCommonOnes) {
  for (const char16_t* dir : {u"Administrator", u"All Users", u"Default User", u"LocalService"})
    m.fs().AddFolder(std::u16string(u"C:\\Users\\") + dir);
  m.fs().AddFile(u"C:\\Users\\desktop.ini", "x");
  AppEnv& env = Env();
  EXPECT_FALSE(env.UserListArr_by_DirName().has_value());
  env.Refresh_UserList_by_DirName();
  EXPECT_EQ(*env.UserListArr_by_DirName(),
            (Names{u"Admin", u"Administrator", u"All Users", u"Default", u"Default User",
                   u"LocalService", u"Public"}));
  EXPECT_EQ(*env.UserListArr_by_DirName_NoCommonDirs(), (Names{u"Admin", u"Administrator"}));
  EXPECT_EQ(*env.Dir_UserProfilesArr_NoCommonDirs(),
            (Names{u"C:\\Users\\Admin", u"C:\\Users\\Administrator"}));
  EXPECT_EQ(env.DirBS_UserProfilesArr()->front(), u"C:\\Users\\Admin\\");
  EXPECT_EQ(env.DirBS_UserProfilesArr_NoCommonDirs()->size(), 2u);
  EXPECT_EQ(env.Dir_UserProfilesArr()->size(), 7u);

  // Each refresh starts afresh; the clean-up drops every list once.
  m.fs().Remove(u"C:\\Users\\Administrator");
  env.Refresh_UserList_by_DirName();
  EXPECT_EQ(*env.UserListArr_by_DirName_NoCommonDirs(), Names{u"Admin"});
  env.CleanUp();
  EXPECT_FALSE(env.UserListArr_by_DirName().has_value());
  env.CleanUp();
}

TEST_F(EnvObjectEnvSearch, WmiListSkipsWhatIsNoPersonsEnabledHealthyAccount) {
  AddAccount(u"Eve");
  AddAccount(u"VUSR_KES-PC");
  AddAccount(u"Off", true);
  AddAccount(u"Everyone", false, 5);
  AddAccount(u"TRUST$", false, 1, 2048);
  AddAccount(u"Broken", false, 1, 512, u"Degraded");
  AppEnv& env = Env();
  EXPECT_FALSE(env.UserListArr_WMI().has_value());
  EXPECT_FALSE(env.UserListArr_WMI_Was_Triggered());
  env.Refresh_UserList_WMI();
  EXPECT_TRUE(env.UserListArr_WMI_Was_Triggered());
  // Administrator, DefaultAccount and Guest are disabled on the default machine.
  EXPECT_EQ(*env.UserListArr_WMI(), (Names{u"Admin", u"Eve"}));

  KeyedTexts all;
  WMI_GetUserList(all, false, false, false);
  EXPECT_EQ(all.Count(), m.accounts.size());

  m.InjectFault("WmiQueryUserAccounts", 0x80041010u);
  env.Refresh_UserList_WMI();
  EXPECT_EQ(*env.UserListArr_WMI(), Names{});
  EXPECT_TRUE(LogHas(u"winmgmts: Win32_UserAccount"));
}

TEST_F(EnvObjectEnvSearch, OfflinePartitionNewerVersionPurgeAndFirstAssignments) {
  AppEnv& env = Env();
  for (const auto& [path, offline] :
       std::initializer_list<std::pair<const char16_t*, bool>>{{u"D:\\Windows", true},
                                                               {u"C:\\Windows", false},
                                                               {u"c:\\windows", false},
                                                               {u"\\\\server\\share", false},
                                                               {u"", false}})
    EXPECT_EQ(env.IsOfflinePartition(path), offline) << Utf8(path);

  env.AppVer_Full = u"1.4.0.2";
  EXPECT_TRUE(env.IsVersionNewerThanMe(u"1.4.3"));  // 1.4.0.3
  EXPECT_TRUE(env.IsVersionNewerThanMe(u"1.10"));
  EXPECT_FALSE(env.IsVersionNewerThanMe(u"1.4.2"));
  EXPECT_FALSE(env.IsVersionNewerThanMe(u"1.4.0.2"));
  EXPECT_FALSE(env.IsVersionNewerThanMe(u""));

  const std::u16string config = env.AppPath_Config;
  ASSERT_EQ(config, u"C:\\Tools\\Kestrune Resources\\Config");
  for (const char16_t* file : {u"\\a.cfg", u"\\a_Debug.cfg", u"\\notes.txt", u"\\old\\b.cfg"})
    m.fs().AddFile(config + file, "x");
  env.Purge_ConfigPath();
  EXPECT_EQ(m.fs().List(config), (Names{u"a_Debug.cfg", u"notes.txt", u"old"}));
  env.Purge_ConfigPath(1);
  EXPECT_EQ(m.fs().List(config + u"\\old"), Names{});

  env.App_Identity = 5;
  env.App_Identity = 7;
  EXPECT_EQ(env.App_Identity, 5);
  env.AppInst_SkipAutoUpdateChecks = true;
  env.AppInst_SkipAutoUpdateChecks = false;
  EXPECT_TRUE(env.AppInst_SkipAutoUpdateChecks);
  env.List_Encrypted_PersistFormControlData_AddItem(u"chkF8");
  env.List_Encrypted_PersistFormControlData_AddItem(u"chkF8");
  EXPECT_EQ(env.PersistFormControlIDs().Count(), 1u);
}

TEST(AppPathWritableEnvSearch, TrueOnADiskFalseOnAReadOnlyMedium) {
  for (const bool read_only : {false, true}) {
    sim::Machine m;
    Context ctx(m.platform());
    ContextScope scope(ctx);
    if (read_only) {
      m.fs().AddDrive(u"E:", u"CDFS", sim::DriveType::kCdRom, true);
      m.fs().AddFile(u"E:\\Kestrune.exe", "MZ");
      m.CurrentProcess().image = u"E:\\Kestrune.exe";
      m.SetProgramCommandLine(u"\"E:\\Kestrune.exe\"");
    }
    InitApp(false, u"");
    EXPECT_EQ(ctx.env->AppPath_IsWritable, !read_only);
    EXPECT_EQ(m.fs().List(ctx.env->AppPath).size(), 1u);  // the probe left nothing
  }
}

}  // namespace
}  // namespace kes
