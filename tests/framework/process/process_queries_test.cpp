// Process queries over Windows' own snapshot shape: the idle process 0, System 4, csrss refusing
// to be opened, parents, image paths, and names outside Latin-1.
#include "framework/process/process_queries.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests

class LaunchPermsQueries : public MachineTest {
 protected:
  LaunchPermsQueries() {
    AppEnv& e = StartupFacts();
    e.WinVista_OrNewer = true;
    e.API_QueryFullProcessImageNameW = true;
    e.AppInst_ProcessID = static_cast<std::int32_t>(m.current_pid);
  }
  DWORD Add(DWORD pid, const std::u16string& image) {
    m.processes.push_back({pid, m.current_pid, image, u"\"" + image + u"\"", std::nullopt});
    return pid;
  }
};

TEST_F(LaunchPermsQueries, FindsProcessesByNameAndPathFirstInSnapshotOrder) {
  const DWORD first = Add(7001, u"C:\\Windows\\notepad.exe");
  Add(7002, u"C:\\Windows\\System32\\notepad.exe");
  EXPECT_EQ(GetPID(u"notepad"), 7001);
  EXPECT_EQ(GetPID(u" NOTEPAD.EXE "), 7001);
  EXPECT_EQ(GetPID(u"c:\\windows\\system32\\NOTEPAD.exe"), 7002);
  EXPECT_EQ(GetPID(u"C:\\Windows\\System32\\notepad"), 7002);
  EXPECT_EQ(GetPID(u"C:\\Tools\\notepad.exe"), 0);
  EXPECT_EQ(GetPID(u"note"), 0);
  // A name beginning above U+00FF is read from the snapshot as the UTF-16 it is.
  Add(7003, u"C:\\Tools\\\u5de5\u5177.exe");
  EXPECT_EQ(GetPID(u"\u5de5\u5177.exe"), 7003);
  EXPECT_TRUE(IsProcessRunningByPID(0));  // Windows lists its idle process under 0
  EXPECT_TRUE(IsProcessRunningByPID(static_cast<std::int32_t>(first)));
  EXPECT_FALSE(IsProcessRunningByPID(7777));
}

TEST_F(LaunchPermsQueries, PathsAndParentsOfTheProgramAndOfProtectedProcesses) {
  const auto own = static_cast<std::int32_t>(m.current_pid);
  EXPECT_EQ(GetPathFromPID(own), u"C:\\Tools\\Kestrune.exe");
  EXPECT_EQ(GetParentPID(own), 3120);  // explorer.exe started it
  EXPECT_EQ(GetParentPID(7777), 0);
  EXPECT_FALSE(m.token.privileges[u"SeDebugPrivilege"]);  // enabled only meanwhile

  // The idle process cannot be opened at all; csrss only for the limited right, which the
  // full-image-name call needs.
  EXPECT_EQ(GetPathFromPID(0), u"");
  EXPECT_TRUE(LogHas(u"Invalid Parameter; OpenProcess called on System Process 0x0"));
  EXPECT_EQ(GetPathFromPID(548), u"C:\\Windows\\System32\\csrss.exe");

  // Windows XP: no limited right, so PROCESS_QUERY_INFORMATION | PROCESS_VM_READ and psapi.
  Ctx().env->WinVista_OrNewer = false;
  Ctx().env->API_QueryFullProcessImageNameW = false;
  EXPECT_EQ(GetPathFromPID(own), u"C:\\Tools\\Kestrune.exe");
  EXPECT_TRUE(LogHas(u"lQueryFlag = PROCESS_QUERY_INFORMATION Or PROCESS_VM_READ"));
  EXPECT_GE(m.CallCount("GetModuleFileNameExW"), 1);
}

TEST_F(LaunchPermsQueries, ByteArrayToStringTellsUtf16FromAnsi) {
  const std::uint8_t wide[] = {0x61, 0, 0x62, 0, 0, 0};
  const std::uint8_t ansi[] = {0x61, 0x62, 0};
  EXPECT_EQ(ByteArrayToString(wide, true), u"ab");
  EXPECT_EQ(ByteArrayToString(ansi, true), u"ab");
}

}  // namespace
}  // namespace kes
