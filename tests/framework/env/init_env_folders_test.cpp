// The folder facts start-up fills on the machine it runs on, whatever its Windows version and
// bitness; a folder Windows does not report leaves only its own facts empty. (The program's own
// folders and the Windows folders of the default machine are start-up's tests.)
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests

class InitEnvFoldersTest : public MachineTest {
 protected:
  InitEnvFoldersTest() { debug::SetDebugLogVerbose(true); }
  // InitEnv over a fresh environment object whose 64-bit test has answered `win64`.
  AppEnv& RunInitEnv(bool win64) {
    ctx.env = std::make_unique<AppEnv>();
    ctx.env->g_Win64bit = win64;
    InitEnv(u"");
    return *ctx.env;
  }
};

TEST_F(InitEnvFoldersTest, SixtyFourBitWindowsWithThe32BitProgram) {
  const AppEnv& env = RunInitEnv(true);
  ASSERT_TRUE(env.Win64bit);
  EXPECT_EQ(env.Dir_ProgramFiles, u"C:\\Program Files");
  EXPECT_EQ(env.DirBS_ProgramFiles, u"C:\\Program Files\\");
  EXPECT_EQ(env.Dir_CommonProgramFiles, u"C:\\Program Files\\Common Files");
  EXPECT_EQ(env.Dir_ProgramFiles32, u"C:\\Program Files (x86)");
  EXPECT_EQ(env.Dir_CommonProgramFiles32, u"C:\\Program Files (x86)\\Common Files");
  EXPECT_EQ(env.DirBS_CommonProgramFiles32, u"C:\\Program Files (x86)\\Common Files\\");

  EXPECT_EQ(env.Dir_UserProfilesParent, u"C:\\Users");
  EXPECT_EQ(env.UserDir_CurrentUser_Temp, u"C:\\Users\\Admin\\AppData\\Local\\Temp");
  EXPECT_EQ(env.UserDirBS_CurrentUser_Temp, u"C:\\Users\\Admin\\AppData\\Local\\Temp\\");
  EXPECT_EQ(env.UserDir_CurrentUser_AppData_Roaming, u"C:\\Users\\Admin\\AppData\\Roaming");
  EXPECT_EQ(env.UserDir_CurrentUser_AppData_Local, u"C:\\Users\\Admin\\AppData\\Local");
  EXPECT_EQ(env.UserDir_CurrentUser_ProgramFilesVS,
            u"C:\\Users\\Admin\\AppData\\Local\\VirtualStore\\Program Files");
  EXPECT_EQ(env.UserDir_CurrentUser_ProgramFiles32VS,
            u"C:\\Users\\Admin\\AppData\\Local\\VirtualStore\\Program Files (x86)");
  EXPECT_EQ(env.UserDir_CurrentUser_Profile, u"C:\\Users\\Admin");
  EXPECT_EQ(env.NameDir_CurrentUser, u"Admin");
  EXPECT_EQ(env.UserDir_CurrentUser_Desktop, u"C:\\Users\\Admin\\Desktop");
  const std::u16string win = u"C:\\Users\\Admin\\AppData\\Roaming\\Microsoft\\Windows\\";
  EXPECT_EQ(env.UserDir_CurrentUser_SendToMenu, win + u"SendTo");
  EXPECT_EQ(env.UserDir_CurrentUser_StartMenuPrograms, win + u"Start Menu\\Programs");
  EXPECT_EQ(env.UserDir_CurrentUser_StartupFolder, win + u"Start Menu\\Programs\\Startup");
  EXPECT_EQ(env.NameDir_SendToMenu, u"SendTo");
  EXPECT_EQ(env.NameDir_DocTemplates, u"Templates");
  EXPECT_EQ(env.NameDir_RecentDocs, u"Recent");
  EXPECT_EQ(env.NameDir_StartMenu, u"Start Menu");
  EXPECT_EQ(env.NameDir_StartMenuPrograms, u"Programs");
  EXPECT_EQ(env.NameDir_StartupFolder, u"Startup");
  EXPECT_EQ(env.UserDir_AllUsers_Desktop, u"C:\\Users\\Public\\Desktop");
  EXPECT_EQ(env.UserDir_AllUsers_Profile, u"C:\\Users\\Public");
  EXPECT_EQ(env.NameDir_Desktop, u"Desktop");
  EXPECT_EQ(env.UserDir_DefaultUser_Profile, u"C:\\Users\\Default");
  EXPECT_EQ(env.UserDir_DefaultUser_Desktop, u"C:\\Users\\Default\\Desktop");
  EXPECT_EQ(env.NameDir_Documents, u"Documents");
  EXPECT_EQ(env.NameDir_Pictures, u"Pictures");
  EXPECT_EQ(env.NameDir_Music, u"Music");
  EXPECT_EQ(env.NameDir_Videos, u"Videos");
}

TEST_F(InitEnvFoldersTest, ThirtyTwoBitWindowsHasOneProgramFilesFolder) {
  m.facts.is_64bit = false;
  const AppEnv& env = RunInitEnv(false);
  EXPECT_EQ(env.Dir_ProgramFiles, u"C:\\Program Files");
  EXPECT_EQ(env.Dir_ProgramFiles32, env.Dir_ProgramFiles);
  EXPECT_EQ(env.Dir_CommonProgramFiles32, u"C:\\Program Files\\Common Files");
  EXPECT_EQ(env.UserDir_CurrentUser_ProgramFiles32VS, env.UserDir_CurrentUser_ProgramFilesVS);
}

TEST_F(InitEnvFoldersTest, WindowsXPFoldersAndNames) {
  m.facts.version.dwMajorVersion = 5;
  m.facts.version.dwMinorVersion = 1;
  m.facts.is_64bit = false;
  m.SetEnv(u"USERPROFILE", u"C:\\Documents and Settings\\Admin");
  m.SetEnv(u"TEMP", u"C:\\Documents and Settings\\Admin\\Local Settings\\Temp");
  m.SetEnv(u"TMP", u"C:\\Documents and Settings\\Admin\\Local Settings\\Temp");
  m.fs().AddShellFolders();
  const AppEnv& env = RunInitEnv(false);
  EXPECT_EQ(env.Dir_UserProfilesParent, u"C:\\Documents and Settings");
  EXPECT_EQ(env.UserDir_CurrentUser_Profile, u"C:\\Documents and Settings\\Admin");
  EXPECT_EQ(env.UserDir_CurrentUser_AppData_Roaming,
            u"C:\\Documents and Settings\\Admin\\Application Data");
  EXPECT_EQ(env.UserDir_CurrentUser_AppData_Local,
            u"C:\\Documents and Settings\\Admin\\Local Settings\\Application Data");
  EXPECT_EQ(env.NameDir_Documents, u"My Documents");
  EXPECT_EQ(env.NameDir_Pictures, u"My Pictures");
  EXPECT_EQ(env.NameDir_Printers, u"PrintHood");
  EXPECT_EQ(env.UserDir_AllUsers_Profile, u"C:\\Documents and Settings\\All Users");
  EXPECT_EQ(env.UserDir_DefaultUser_Profile, u"C:\\Documents and Settings\\Default User");
  EXPECT_EQ(env.UserDir_DefaultUser_Desktop, u"C:\\Documents and Settings\\Default User\\Desktop");
}

TEST_F(InitEnvFoldersTest, AMissingShellFolderLeavesOnlyItsFactsEmpty) {
  m.fs().Remove(u"C:\\Users\\Admin\\AppData\\Roaming\\Microsoft\\Windows\\SendTo");
  const AppEnv& env = RunInitEnv(true);
  EXPECT_EQ(env.UserDir_CurrentUser_SendToMenu, u"");
  EXPECT_EQ(env.UserDirBS_CurrentUser_SendToMenu, u"");
  EXPECT_EQ(env.NameDir_SendToMenu, u"");
  EXPECT_TRUE(LogHas("SHGetFolderPathW"));
  // Everything after it is still there.
  EXPECT_EQ(env.NameDir_StartupFolder, u"Startup");
  EXPECT_EQ(env.UserDir_DefaultUser_Desktop, u"C:\\Users\\Default\\Desktop");
  EXPECT_EQ(env.NameDir_Videos, u"Videos");
}

}  // namespace
}  // namespace kes
