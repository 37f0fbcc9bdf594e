// Well-known folders as start-up and the file procedures ask for them: the program's own
// executable and folder, the special folders of a 32-bit program on 64-bit Windows, and an
// empty answer with a log entry for every query Windows refuses.
#include "framework/fs/folders.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests

class FoldersTest : public MachineTest {
 protected:
  FoldersTest() { StartupFacts(); }
};

TEST_F(FoldersTest, ProgramFilesIsTheNativeFolderForThe32BitProgram) {
  EXPECT_EQ(GetSpecialfolder(kCSIDL_PROGRAM_FILES), u"C:\\Program Files");
  EXPECT_EQ(GetSpecialfolder(kCSIDL_PROGRAM_FILES_COMMON), u"C:\\Program Files\\Common Files");
  // The x86 folder asked for by its own `csidl` keeps its name.
  EXPECT_EQ(GetSpecialfolder(0x2A), u"C:\\Program Files (x86)");
  EXPECT_EQ(GetSpecialfolder(kCSIDL_COMMON_APPDATA), u"C:\\ProgramData");
  EXPECT_EQ(GetSpecialfolder(kCSIDL_APPDATA), u"C:\\Users\\Admin\\AppData\\Roaming");
}

TEST_F(FoldersTest, UnknownOrMissingSpecialFolderGivesEmptyAndALogEntry) {
  EXPECT_EQ(GetSpecialfolder(0x7E), u"");
  EXPECT_TRUE(LogHas("SHGetFolderPathW"));
  const std::size_t before = Log().size();
  m.fs().Remove(u"C:\\Users\\Admin\\Music");
  EXPECT_EQ(GetSpecialfolder(kCSIDL_MYMUSIC), u"");
  EXPECT_NE(Log().find("SHGetFolderPathW", before), std::string::npos);
}

TEST_F(FoldersTest, ExecutableAndItsFolder) {
  EXPECT_EQ(GetMyExe(), u"C:\\Tools\\Kestrune.exe");
  EXPECT_EQ(GetMyPath(), u"C:\\Tools");
  // Windows cannot name the module: rebuilt from the command line's folder, the first existing
  // extension of the list winning.
  m.InjectFault("GetModuleFileNameW", kERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(GetMyExe(), u"C:\\Tools\\Kestrune.exe");
  m.fs().AddFile(u"C:\\Tools\\Kestrune.qzr", "q");
  EXPECT_EQ(GetMyExe(), u"C:\\Tools\\Kestrune.qzr");
  EXPECT_EQ(GetMyPath(), u"C:\\Tools");
  EXPECT_TRUE(LogHas("GetModuleFileNameW"));
}

TEST_F(FoldersTest, WindowsFolderSystemDriveProfilesAndTemp) {
  EXPECT_EQ(GetWinDir(), u"C:\\Windows");
  EXPECT_EQ(GetSystemDrive(), u"C:");
  EXPECT_EQ(GetSystemDrive(u"d:\\windows"), u"D:");
  EXPECT_EQ(GetUserProfilesParentDir(), u"C:\\Users");
  EXPECT_EQ(GetDefaultUserProfileDir(), u"C:\\Users\\Default");
  EXPECT_EQ(GetTempDir(), u"C:\\Users\\Admin\\AppData\\Local\\Temp");
  EXPECT_EQ(GetStrFromPtrW(u"abc"), u"abc");
  EXPECT_EQ(GetStrFromPtrW(nullptr), u"");
}

TEST_F(FoldersTest, FailingFolderQueriesGiveEmptyAndAreLogged) {
  m.environment.clear();
  EXPECT_EQ(GetSystemDrive(), u"");
  EXPECT_TRUE(LogHas("GetEnvironmentVariableW"));
  m.InjectFault("GetTempPathW", kERROR_ACCESS_DENIED);
  EXPECT_EQ(GetTempDir(), u"");
  EXPECT_TRUE(LogHas("GetTempPathW"));
  m.InjectFault("GetWindowsDirectoryW", kERROR_ACCESS_DENIED);
  EXPECT_EQ(GetWinDir(), u"");
  EXPECT_TRUE(LogHas("GetWindowsDirectoryW"));
  m.InjectFault("GetProfilesDirectoryW", kERROR_ACCESS_DENIED);
  EXPECT_EQ(GetUserProfilesParentDir(), u"");
  EXPECT_TRUE(LogHas("GetProfilesDirectoryW"));
}

}  // namespace
}  // namespace kes
