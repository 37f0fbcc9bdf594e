// Processes of the simulated machine as CreateProcessW and the waits see them: programs found
// where Windows looks (and which System32 a 32-bit process sees), Windows' errors for what
// cannot start, access rights on process handles, and waits that follow the machine's clock.
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests
using SimProcessesTest = MachineTest;

TEST_F(SimProcessesTest, BareNamesAreFoundWhereWindowsLooksAndRedirectionDecidesWhichSystem32) {
  DWORD error = 0;
  // The 32-bit program with redirection on gets the 32-bit copy of cmd.exe...
  ASSERT_NE(StartProcess(m, u"cmd.exe /c exit 0", &error), 0u);
  EXPECT_EQ(Started(m, u"cmd.exe")->image, u"C:\\Windows\\SysWOW64\\cmd.exe");
  // ...and cannot find bcdedit.exe at all, which has no 32-bit copy.
  EXPECT_EQ(StartProcess(m, u"bcdedit.exe /set safeboot minimal", &error), 0u);
  EXPECT_EQ(error, kERROR_FILE_NOT_FOUND);

  std::uintptr_t token = 0;
  ASSERT_TRUE(m.platform().fs.Wow64DisableWow64FsRedirection(&token));
  ASSERT_NE(StartProcess(m, u"bcdedit.exe /set safeboot minimal", &error), 0u);
  ASSERT_NE(StartProcess(m, u"cmd /c exit 0", &error), 0u);  // ".exe" is added to a bare name
  m.platform().fs.Wow64RevertWow64FsRedirection(token);
  EXPECT_EQ(Started(m, u"bcdedit.exe")->image, u"C:\\Windows\\System32\\bcdedit.exe");
  EXPECT_EQ(Started(m, u"cmd /c")->image, u"C:\\Windows\\System32\\cmd.exe");
  EXPECT_FALSE(Started(m, u"cmd /c")->is_32bit);

  // The program's own folder comes first; PATH comes last.
  AddTool(m, u"C:\\Tools\\helper.exe", 0);
  AddTool(m, u"C:\\Bin\\pathtool.exe", 0);
  m.SetEnv(u"Path", *m.GetEnv(u"Path") + u";C:\\Bin");
  EXPECT_NE(StartProcess(m, u"helper", &error), 0u);
  EXPECT_NE(StartProcess(m, u"pathtool.exe -x", &error), 0u);
  EXPECT_EQ(Started(m, u"pathtool")->parent_pid, m.current_pid);
}

TEST_F(SimProcessesTest, MissingProgramsAndNonProgramsFailWithTheirErrors) {
  DWORD error = 0;
  EXPECT_EQ(StartProcess(m, u"nosuch.exe", &error), 0u);
  EXPECT_EQ(error, kERROR_FILE_NOT_FOUND);
  EXPECT_EQ(StartProcess(m, u"C:\\NoFolder\\tool.exe", &error), 0u);
  EXPECT_EQ(error, kERROR_PATH_NOT_FOUND);
  m.fs().AddFile(u"C:\\Tools\\readme.txt", std::string("hi"));
  EXPECT_EQ(StartProcess(m, u"C:\\Tools\\readme.txt", &error), 0u);
  EXPECT_EQ(error, 193u);
  // An unquoted path with blanks is tried piece by piece, as Windows does.
  AddTool(m, u"C:\\Program Files\\Tool Dir\\tool.exe", 4);
  EXPECT_NE(StartProcess(m, u"C:\\Program Files\\Tool Dir\\tool.exe /q", &error), 0u);
  EXPECT_EQ(Started(m, u"/q")->image, u"C:\\Program Files\\Tool Dir\\tool.exe");
  EXPECT_EQ(m.started_command_lines.size(), 1u);  // failures start nothing
}

TEST_F(SimProcessesTest, ProcessHandlesHonourAccessRightsAndTheClock) {
  auto& proc = m.platform().proc;
  AddTool(m, u"C:\\Tools\\slow.exe", 7, 250);
  DWORD error = 0;
  const DWORD pid = StartProcess(m, u"C:\\Tools\\slow.exe", &error);
  ASSERT_NE(pid, 0u);

  EXPECT_EQ(proc.OpenProcess(kPROCESS_QUERY_INFORMATION, 0, 0), 0u);
  EXPECT_EQ(m.last_error, kERROR_INVALID_PARAMETER);
  const HANDLE query_only = proc.OpenProcess(kPROCESS_QUERY_INFORMATION, 0, pid);
  const HANDLE sync_only = proc.OpenProcess(kSYNCHRONIZE, 0, pid);
  DWORD code = 0;
  EXPECT_TRUE(proc.GetExitCodeProcess(query_only, &code));
  EXPECT_EQ(code, kSTILL_ACTIVE);
  EXPECT_FALSE(proc.GetExitCodeProcess(sync_only, &code));
  EXPECT_EQ(m.last_error, kERROR_ACCESS_DENIED);
  // Waiting needs SYNCHRONIZE: the classic query-only handle cannot be slept on.
  EXPECT_EQ(proc.WaitForSingleObject(query_only, 10), kWAIT_FAILED);
  EXPECT_EQ(m.last_error, kERROR_ACCESS_DENIED);
  EXPECT_FALSE(proc.TerminateProcess(query_only, 1));

  // New input wakes the message-aware wait before the process ends; each arrival counts once.
  m.input_arrivals = {m.local_ms + 40};
  const std::int64_t start = m.local_ms;
  EXPECT_EQ(proc.MsgWaitForMultipleObjects(1, &sync_only, 0, 100, kQS_ALLINPUT), 1u);
  EXPECT_EQ(m.local_ms - start, 40);
  EXPECT_EQ(proc.MsgWaitForMultipleObjects(1, &sync_only, 0, 100, kQS_ALLINPUT), kWAIT_TIMEOUT);
  EXPECT_EQ(proc.MsgWaitForMultipleObjects(1, &sync_only, 0, 500, kQS_ALLINPUT), 0u);
  EXPECT_EQ(m.local_ms - start, 250);  // woke exactly when the program ended
  EXPECT_TRUE(proc.GetExitCodeProcess(query_only, &code));
  EXPECT_EQ(code, 7u);

  for (HANDLE h : {query_only, sync_only}) m.platform().sys.CloseHandle(h);
  EXPECT_EQ(proc.OpenProcess(kPROCESS_QUERY_INFORMATION, 0, pid), 0u);  // ended: gone
}

TEST_F(SimProcessesTest, AWaitThatNothingCouldEndFailsInsteadOfHanging) {
  auto& proc = m.platform().proc;
  DWORD error = 0;
  const DWORD pid = StartProcess(m, u"cmd.exe /k echo waiting", &error);  // /k stays open
  const HANDLE h = proc.OpenProcess(kSYNCHRONIZE | kPROCESS_TERMINATE, 0, pid);
  EXPECT_EQ(proc.WaitForSingleObject(h, kINFINITE), kWAIT_FAILED);
  EXPECT_EQ(m.last_error, kERROR_POSSIBLE_DEADLOCK);
  EXPECT_TRUE(proc.TerminateProcess(h, 9));
  EXPECT_EQ(proc.WaitForSingleObject(h, kINFINITE), kWAIT_OBJECT_0);
  m.platform().sys.CloseHandle(h);
}

}  // namespace
}  // namespace kes
