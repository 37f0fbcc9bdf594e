// The full launcher's decision tree where a wrong turn would start the wrong program, report a
// launch that never happened, or hang: bare names, alternate values, path forms, waits, and the
// shell's elevation answers.
#include "framework/process/launcher.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests

class LaunchPermsRunX : public MachineTest {
 protected:
  LaunchPermsRunX() { StartupFacts(); }
};

TEST_F(LaunchPermsRunX, BareNamesGoToTheShellAndShowDefaultLaunchesNormal) {
  AddTool(m, u"C:\\Windows\\System32\\notepad.exe", 0);
  const std::size_t handles = m.OpenHandleCount();
  RunXResult r = RunX(u"notepad.exe", u"", false, false, 0, 1);
  EXPECT_TRUE(r.bSuccess);
  EXPECT_TRUE(r.bUsedShellFallback);
  EXPECT_EQ(m.CallCount("CreateProcessW"), 0);
  EXPECT_EQ(r.lPID, static_cast<std::int32_t>(Started(m, u"notepad.exe")->pid));

  AddTool(m, u"C:\\Tools\\show.exe", 0);
  r = RunX(u"C:\\Tools\\show.exe", u"x", false, false, 0, 10);
  EXPECT_EQ(r.ShowType, 10);
  EXPECT_EQ(Started(m, u"show.exe")->show_window, kSW_SHOWNORMAL);
  EXPECT_EQ(Started(m, u"show.exe")->command_line, u"show.exe x");
  EXPECT_EQ(r.lCreationFlags, 0x6000000u);
  EXPECT_EQ(m.OpenHandleCount(), handles);
}

TEST_F(LaunchPermsRunX, BatchAndControlPanelFilesRunThroughTheirSystemTools) {
  AddTool(m, u"C:\\Windows\\System32\\control.exe", 0);
  m.fs().AddFile(u"C:\\Tools\\go.bat", std::string_view("@exit 0"));
  m.fs().AddFile(u"C:\\Windows\\System32\\desk.cpl", std::string_view("MZ"));
  EXPECT_TRUE(RunX(u"C:\\Tools\\go.bat", u"a b", false, false, 0, 1).bSuccess);
  const sim::SimProcess* cmd = Started(m, u"go.bat");
  ASSERT_TRUE(cmd);
  EXPECT_EQ(cmd->image, u"C:\\Windows\\System32\\cmd.exe");
  EXPECT_EQ(cmd->command_line, u" /c \"C:\\Tools\\go.bat\" a b");
  EXPECT_TRUE(RunX(u"C:\\Windows\\System32\\desk.cpl", u"", false, false, 0, 1).bSuccess);
  EXPECT_EQ(Started(m, u"desk.cpl")->command_line, u" \"C:\\Windows\\System32\\desk.cpl\"");

  // A failed alternate launch of a System32 item is tried once more with the 32-bit tool.
  m.InjectFault("CreateProcessW", kERROR_FILE_NOT_FOUND, m.CallCount("CreateProcessW") + 1);
  EXPECT_TRUE(RunX(u"C:\\Windows\\System32\\desk.cpl", u"", false, false, 0, 1).bSuccess);
  EXPECT_EQ(Started(m, u"desk.cpl")->image, u"C:\\Windows\\SysWOW64\\control.exe");
  EXPECT_TRUE(LogHas(u"64bit OS, retry with sPathAndFilename_Alt_W modified"));
}

TEST_F(LaunchPermsRunX, LongPathsTakeTheWideFormAndItsFlags) {
  for (const std::size_t length : {259u, 260u}) {
    const std::u16string path = u"C:\\Tools\\" + std::u16string(length - 13, u'a') + u".exe";
    ASSERT_EQ(path.size(), length);
    AddTool(m, path, 0);
    const RunXResult r = RunX(path, u"", false, false, 0, 1);
    EXPECT_TRUE(r.bSuccess) << length;
    EXPECT_EQ(r.bLongPath, length == 260);
    EXPECT_EQ(r.lCreationFlags, length == 260 ? 0x6000400u : 0x6000000u);
    EXPECT_EQ(r.sPathUsed, length == 260 ? u"\\\\?\\" + path + u"<NULL>" : path);
  }
}

TEST_F(LaunchPermsRunX, WaitsEndWithTheExitCodeOrLeaveALateProgramRunning) {
  AddTool(m, u"C:\\Tools\\three.exe", 3, 2000);
  AddTool(m, u"C:\\Tools\\slow.exe", 0, 600000);
  const std::int64_t start = m.local_ms;
  RunXResult r = RunX(u"C:\\Tools\\three.exe", u"", true, false, 0, 1);
  EXPECT_EQ(r.lExitCode, 3);
  EXPECT_LT(m.local_ms - start, 2100);  // woke with the exit, not at the next poll
  r = RunX(u"C:\\Tools\\slow.exe", u"", true, false, 1000, 1);
  EXPECT_TRUE(r.bTimedOut);
  EXPECT_TRUE(r.bSuccess);
  EXPECT_EQ(r.lExitCode, 259);
  EXPECT_EQ(r.sWaitResult, u"WAIT_TIMEOUT");
  EXPECT_TRUE(Started(m, u"slow.exe")->Running(m.local_ms));

  // The tick count wraps during the wait: it still ends after the time-out, not 49 days later.
  m.tick_ms = 0xFFFFFFFFu - 50;
  HANDLE h = OS().proc.OpenProcess(kSYNCHRONIZE, 0, static_cast<DWORD>(r.lPID));
  const std::int64_t before = m.local_ms;
  EXPECT_EQ(MsgWaitObj(300, &h, 1), kWAIT_TIMEOUT);
  EXPECT_GE(m.local_ms - before, 300);
  EXPECT_LT(m.local_ms - before, 1000);
  OS().sys.CloseHandle(h);
}

TEST_F(LaunchPermsRunX, TheShellRetriesElevationOnceAndNeverReportsADeclinedLaunch) {
  AddTool(m, u"C:\\Tools\\admin.exe", 0);
  m.InjectFault("ShellExecuteW", kERROR_ELEVATION_REQUIRED, 1);
  EXPECT_TRUE(ShellExW(u"C:\\Tools\\admin.exe", u"", 1, false, false));
  EXPECT_EQ(m.CallCount("ShellExecuteW"), 2);  // "open", then "runas"

  // Windows asks once more under "runas": nothing started, and the caller learns it.
  m.InjectFault("ShellExecuteW", kERROR_ELEVATION_REQUIRED);
  ShellExOutcome outcome;
  EXPECT_FALSE(ShellExW(u"C:\\Tools\\admin.exe", u"", 1, false, false, &outcome));
  EXPECT_TRUE(outcome.elevation_required);
  EXPECT_EQ(m.CallCount("ShellExecuteW"), 4);
}

TEST_F(LaunchPermsRunX, ADeclinedElevationPromptIsAFailureAndNoProcessIsLookedUp) {
  AddTool(m, u"C:\\Tools\\admin.exe", 0);
  m.programs[u"c:\\tools\\admin.exe"].requires_elevation = true;
  m.token.elevated = false;  // the user declines the prompt (no answers scripted)
  const RunXResult r = RunX(u"C:\\Tools\\admin.exe", u"", true, false, 0, 1);
  EXPECT_EQ(m.elevation_prompts_shown, 1);
  EXPECT_FALSE(r.bSuccess);
  EXPECT_TRUE(r.bUACCancelled);
  EXPECT_TRUE(r.bElevationRequired);
  EXPECT_EQ(r.lPID, 0);
  EXPECT_EQ(m.CallCount("CreateToolhelp32Snapshot"), 0);
  EXPECT_EQ(m.CallCount("CreateProcessW"), 1);  // no ShellX after the user said no
  EXPECT_TRUE(LogHas(u"RunX Finished=False"));
}

}  // namespace
}  // namespace kes
