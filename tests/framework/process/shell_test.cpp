// Launching external programs as the program depends on it: the tools are found where Windows
// finds them (System32 only inside the redirection bracket for a 32-bit process), exit codes
// come back, waits keep window messages flowing and end as soon as the program does, time-outs
// leave the program running, and the simulated tools change accounts and the registry the way
// the real ones do.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/process/close_handle.h"
#include "framework/process/exit_wait.h"
#include "framework/process/shell.h"
#include "framework/registry/access.h"
#include "platform/base/u16.h"
#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"
#include "platform/sim/registry_store.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests

constexpr char16_t kTemp[] = u"C:\\Users\\Admin\\AppData\\Local\\Temp\\";

class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    debug::InitDebugModuleVars();
    debug::SetDebugLogVerbose(true);
    ctx.env = std::make_unique<AppEnv>();
    ctx.env->Win64bit = true;
    ctx.env->g_Win64bit = true;
    ctx.env->DirBS_System32 = u"C:\\Windows\\System32\\";
  }

  std::string Log() const { return Utf8(debug::DebugLogText()); }

  // A program file with a behaviour that returns `code` and keeps running `run_ms`.
  void AddTool(std::u16string path, DWORD code, std::uint32_t run_ms = 0) {
    m.fs().AddFile(path, std::string("MZ"));
    m.AddProgram(
        path, [code](sim::Machine&, const std::u16string&) { return code; }, run_ms);
  }

  // The newest process started with a command line containing `part`.
  const sim::SimProcess* Started(std::u16string_view part) {
    for (auto it = m.processes.rbegin(); it != m.processes.rend(); ++it)
      if (it->command_line.find(part) != std::u16string::npos) return &*it;
    return nullptr;
  }

  // CreateProcessW as a plain caller would use it, handles closed at once.
  DWORD Create(std::u16string cmd, DWORD* error) {
    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    if (!m.platform().proc.CreateProcessW(nullptr, cmd.data(), 0, nullptr, &si, &pi)) {
      *error = m.last_error;
      return 0;
    }
    m.platform().sys.CloseHandle(pi.hThread);
    m.platform().sys.CloseHandle(pi.hProcess);
    return pi.dwProcessId;
  }

  sim::Machine m;
  Context ctx{m.platform()};
  ContextScope scope{ctx};
};

// ---- finding programs --------------------------------------------------------------------

TEST_F(LaunchTest, BareNamesAreFoundWhereWindowsLooksAndRedirectionDecidesWhichSystem32) {
  DWORD error = 0;
  // The 32-bit program with redirection on gets the 32-bit copy of cmd.exe...
  ASSERT_NE(Create(u"cmd.exe /c exit 0", &error), 0u);
  EXPECT_EQ(Started(u"cmd.exe")->image, u"C:\\Windows\\SysWOW64\\cmd.exe");
  // ...and cannot find bcdedit.exe at all, which has no 32-bit copy.
  EXPECT_EQ(Create(u"bcdedit.exe /set safeboot minimal", &error), 0u);
  EXPECT_EQ(error, kERROR_FILE_NOT_FOUND);

  std::uintptr_t token = 0;
  ASSERT_TRUE(m.platform().fs.Wow64DisableWow64FsRedirection(&token));
  ASSERT_NE(Create(u"bcdedit.exe /set safeboot minimal", &error), 0u);
  ASSERT_NE(Create(u"cmd /c exit 0", &error), 0u);  // ".exe" is added to a bare name
  m.platform().fs.Wow64RevertWow64FsRedirection(token);
  EXPECT_EQ(Started(u"bcdedit.exe")->image, u"C:\\Windows\\System32\\bcdedit.exe");
  EXPECT_EQ(Started(u"cmd /c")->image, u"C:\\Windows\\System32\\cmd.exe");
  EXPECT_FALSE(Started(u"cmd /c")->is_32bit);

  // The program's own folder comes first; PATH comes last.
  AddTool(u"C:\\Tools\\helper.exe", 0);
  AddTool(u"C:\\Bin\\pathtool.exe", 0);
  m.SetEnv(u"Path", *m.GetEnv(u"Path") + u";C:\\Bin");
  EXPECT_NE(Create(u"helper", &error), 0u);
  EXPECT_NE(Create(u"pathtool.exe -x", &error), 0u);
  EXPECT_EQ(Started(u"pathtool")->parent_pid, m.current_pid);
}

TEST_F(LaunchTest, MissingProgramsAndNonProgramsFailWithTheirErrors) {
  DWORD error = 0;
  EXPECT_EQ(Create(u"nosuch.exe", &error), 0u);
  EXPECT_EQ(error, kERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Create(u"C:\\NoFolder\\tool.exe", &error), 0u);
  EXPECT_EQ(error, kERROR_PATH_NOT_FOUND);
  m.fs().AddFile(u"C:\\Tools\\readme.txt", std::string("hi"));
  EXPECT_EQ(Create(u"C:\\Tools\\readme.txt", &error), 0u);
  EXPECT_EQ(error, 193u);
  // An unquoted path with blanks is tried piece by piece, as Windows does.
  AddTool(u"C:\\Program Files\\Tool Dir\\tool.exe", 4);
  EXPECT_NE(Create(u"C:\\Program Files\\Tool Dir\\tool.exe /q", &error), 0u);
  EXPECT_EQ(Started(u"/q")->image, u"C:\\Program Files\\Tool Dir\\tool.exe");
  EXPECT_EQ(m.started_command_lines.size(), 1u);  // failures start nothing
}

// ---- handles and waits of the simulated machine -----------------------------------------------

TEST_F(LaunchTest, ProcessHandlesHonourAccessRightsAndTheClock) {
  auto& proc = m.platform().proc;
  AddTool(u"C:\\Tools\\slow.exe", 7, 250);
  DWORD error = 0;
  const DWORD pid = Create(u"C:\\Tools\\slow.exe", &error);
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

TEST_F(LaunchTest, AWaitThatNothingCouldEndFailsInsteadOfHanging) {
  auto& proc = m.platform().proc;
  DWORD error = 0;
  const DWORD pid = Create(u"cmd.exe /k echo waiting", &error);  // /k stays open
  const HANDLE h = proc.OpenProcess(kSYNCHRONIZE | kPROCESS_TERMINATE, 0, pid);
  EXPECT_EQ(proc.WaitForSingleObject(h, kINFINITE), kWAIT_FAILED);
  EXPECT_EQ(m.last_error, kERROR_POSSIBLE_DEADLOCK);
  EXPECT_TRUE(proc.TerminateProcess(h, 9));
  EXPECT_EQ(proc.WaitForSingleObject(h, kINFINITE), kWAIT_OBJECT_0);
  m.platform().sys.CloseHandle(h);
}

// ---- the shell launchers --------------------------------------------------------------------

TEST_F(LaunchTest, ShellAndWaitRunsToolsHiddenWithTheRealSystem32AndReturnsExitCodes) {
  const std::size_t handles = m.OpenHandleCount();
  std::u16string error_text;
  std::int32_t exit_code = -1;
  EXPECT_TRUE(
      ShellAndWait(u"cmd.exe /c exit 3", kShellHide, error_text, 2000000000, false, exit_code));
  EXPECT_EQ(exit_code, 3);
  EXPECT_TRUE(error_text.empty());
  const sim::SimProcess* cmd = Started(u"exit 3");
  EXPECT_EQ(cmd->image, u"C:\\Windows\\System32\\cmd.exe");  // redirection was off
  EXPECT_EQ(cmd->show_window, kSW_HIDE);
  EXPECT_TRUE(cmd->startup_flags & kSTARTF_USESHOWWINDOW);
  EXPECT_EQ(cmd->creation_flags, kCREATE_NO_WINDOW);  // its console needs no window either

  EXPECT_TRUE(ShellAndWait(u"bcdedit.exe /set safeboot minimal", kShellHide, error_text, 2000000000,
                           false, exit_code));
  EXPECT_EQ(exit_code, 0);
  EXPECT_EQ(m.started_command_lines.back(), u"bcdedit.exe /set safeboot minimal");
  EXPECT_FALSE(m.fs().redirection_disabled);  // switched back on
  EXPECT_EQ(m.OpenHandleCount(), handles);    // nothing leaks

  EXPECT_FALSE(ShellAndWait(u"nosuch.exe /x", kShellHide, error_text, 0, false, exit_code));
  EXPECT_EQ(error_text, u"File not found");
  EXPECT_FALSE(m.fs().redirection_disabled);
  EXPECT_FALSE(ShellAndWait(u"cmd.exe /c exit 1", 5, error_text, 0, false, exit_code));
  EXPECT_EQ(error_text, u"Invalid procedure call or argument");
  EXPECT_EQ(m.OpenHandleCount(), handles);
}

// A fast tool may be over before the launcher gets round to waiting: the launch's own handle
// keeps its exit code, where a reopen by process ID would find nothing (or another process).
TEST_F(LaunchTest, AToolThatEndsBeforeTheWaitStillReportsItsExitCode) {
  AddTool(u"C:\\Windows\\System32\\quick.exe", 0);
  AddTool(u"C:\\Windows\\System32\\quickfail.exe", 4);
  // The calls made after a launch find the child already over (the gate runs before the call,
  // so the launch itself is the one before).
  bool launched = false;
  m.after_call = [this, &launched](const char* api) {
    if (launched) m.Advance(1000);
    launched = std::string_view(api) == "CreateProcessW";
  };
  const std::size_t handles = m.OpenHandleCount();
  std::u16string error_text;
  std::int32_t exit_code = -1;
  EXPECT_TRUE(ShellAndWait(u"quick.exe", kShellHide, error_text, 2000000000, false, exit_code));
  EXPECT_EQ(exit_code, 0);
  EXPECT_TRUE(error_text.empty()) << Utf8(error_text);
  EXPECT_TRUE(ShellAndWait(u"quickfail.exe", kShellHide, error_text, 2000000000, false, exit_code));
  EXPECT_EQ(exit_code, 4);
  std::int32_t level = -1;
  EXPECT_TRUE(ShellX(u"quickfail.exe", u"", true, kShellHide, level, false, 0));
  EXPECT_EQ(level, 4);
  EXPECT_EQ(m.CallCount("OpenProcess"), 0);
  EXPECT_EQ(m.OpenHandleCount(), handles);
}

TEST_F(LaunchTest, ShellXRefusesBadInputWithAClearLogEntryAndStartsNothing) {
  std::int32_t level = 77;
  EXPECT_FALSE(ShellX(u"", u"", true, kShellHide, level, false, 0));
  EXPECT_NE(Log().find("Passed empty string!"), std::string::npos);
  EXPECT_FALSE(ShellX(u"C:\\Tools\\missing.exe", u"/x", true, kShellHide, level, false, 0));
  EXPECT_NE(Log().find("File not found!"), std::string::npos);
  EXPECT_TRUE(m.started_command_lines.empty());
  EXPECT_EQ(level, 77);  // untouched

  // A bare name is not tested first: the launch itself fails and says why (error 2).
  EXPECT_FALSE(ShellX(u"nosuch.exe", u"", false, kShellHide, level, false, 0));
  const std::string log = Log();
  EXPECT_NE(log.find("CreateProcessW"), std::string::npos);
  EXPECT_NE(log.find("The system cannot find the file specified."), std::string::npos);
  EXPECT_NE(log.find("File not found"), std::string::npos);  // the launcher's run-time error
  EXPECT_NE(log.find("Shell (Failed); Could not obtain a Process ID!"), std::string::npos);
}

TEST_F(LaunchTest, ShellXQuotesPathsWithBlanksAndHandsBackTheExitCode) {
  AddTool(u"C:\\Program Files\\Tool Dir\\tool.exe", 5, 120);
  std::int32_t level = -1;
  EXPECT_TRUE(ShellX(u"C:\\Program Files\\Tool Dir\\tool.exe", u"/a b", true,
                     kShellMinimizedNoFocus, level, false, 0));
  EXPECT_EQ(level, 5);
  EXPECT_EQ(m.started_command_lines.back(), u"\"C:\\Program Files\\Tool Dir\\tool.exe\" /a b");
  EXPECT_EQ(Started(u"/a b")->show_window, kShellMinimizedNoFocus);
  EXPECT_EQ(Started(u"/a b")->creation_flags, 0u);  // a shown program keeps its console window

  // Without waiting: started, level untouched, the program still runs.
  level = -1;
  EXPECT_TRUE(
      ShellX(u"C:\\Program Files\\Tool Dir\\tool.exe", u"", false, kShellHide, level, false, 0));
  EXPECT_EQ(level, -1);
  EXPECT_TRUE(m.processes.back().Running(m.local_ms));
}

TEST_F(LaunchTest, WaitsPumpMessagesEveryPassAndEndWhenTheProgramEnds) {
  AddTool(u"C:\\Tools\\long.exe", 2, 1050);
  // Input keeps arriving while the program runs; each arrival wakes the wait once.
  m.input_arrivals = {m.local_ms + 10, m.local_ms + 20, m.local_ms + 700};
  const int pumps_before = m.CallCount("PumpPendingMessages");
  const std::int64_t start = m.local_ms;
  std::u16string error_text;
  std::int32_t exit_code = 0;
  EXPECT_TRUE(
      ShellAndWait(u"C:\\Tools\\long.exe", kShellHide, error_text, 2000000000, false, exit_code));
  EXPECT_EQ(exit_code, 2);
  // Returned the moment the program ended, not at the next 100 ms step.
  EXPECT_EQ(m.local_ms - start, 1050);
  // Messages were handled before every pass of at most 100 ms, and every input was seen.
  EXPECT_GE(m.CallCount("PumpPendingMessages") - pumps_before, 11);
  EXPECT_TRUE(m.input_arrivals.empty());
}

TEST_F(LaunchTest, MessageAwareWaitEndsSoonerThanTheClassicFixedSleep) {
  auto& proc = m.platform().proc;
  AddTool(u"C:\\Tools\\quick.exe", 0, 30);
  for (ExitWaitStyle style : {ExitWaitStyle::kMessageAware, ExitWaitStyle::kClassicSleep}) {
    DWORD error = 0;
    std::u16string cmd = u"C:\\Tools\\quick.exe";
    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(proc.CreateProcessW(nullptr, cmd.data(), 0, nullptr, &si, &pi)) << error;
    const std::int64_t start = m.local_ms;
    const ExitWaitResult r = WaitForProcessExit(pi.hProcess, false, 0, style);
    EXPECT_EQ(r.exit_code, 0u);
    EXPECT_FALSE(r.timed_out);
    // The program ran 30 ms: the message-aware wait returns then; the classic one only notices
    // after its first 100 ms sleep and then sleeps once more before it leaves.
    EXPECT_EQ(m.local_ms - start, style == ExitWaitStyle::kMessageAware ? 30 : 200);
    CloseMyHandle(pi.hThread);
    CloseMyHandle(pi.hProcess);
  }
}

TEST_F(LaunchTest, TimeOutsGiveUpOnlyWhenEnforcedAndLeaveTheProgramRunning) {
  AddTool(u"C:\\Tools\\hang.exe", 9, 5000);
  std::u16string error_text;
  std::int32_t exit_code = -1;
  const std::int64_t start = m.local_ms;
  EXPECT_FALSE(ShellAndWait(u"C:\\Tools\\hang.exe", kShellHide, error_text, 1000, true, exit_code));
  EXPECT_EQ(error_text, u"此进程已超时.");
  EXPECT_EQ(exit_code, 0);
  EXPECT_GT(m.local_ms - start, 1000);
  EXPECT_LE(m.local_ms - start, 1100);
  EXPECT_TRUE(m.processes.back().Running(m.local_ms));

  std::int32_t level = -1;
  EXPECT_FALSE(ShellX(u"C:\\Tools\\hang.exe", u"", true, kShellHide, level, true, 300));
  EXPECT_EQ(level, 0);
  const std::string log = Log();
  const std::string timed_out = "ShellX (Failed) The process has timed out.";
  EXPECT_NE(log.find(timed_out), std::string::npos);
  EXPECT_NE(log.find(timed_out, log.find(timed_out) + 1), std::string::npos);  // both entries

  // The callers' values (2,000,000,000 ms, not enforced) wait however long it takes.
  EXPECT_TRUE(
      ShellAndWait(u"C:\\Tools\\hang.exe", kShellHide, error_text, 2000000000, false, exit_code));
  EXPECT_EQ(exit_code, 9);
}

TEST_F(LaunchTest, ToShellWindowStyleKeepsOnlyTheShellStyles) {
  for (std::int32_t v : {0, 1, 2, 3, 4, 6}) EXPECT_EQ(ToShellWindowStyle(v), v);
  for (std::int32_t v : {5, 7, 8, 9, 10, 11, -1}) EXPECT_EQ(ToShellWindowStyle(v), 0) << v;
}

TEST_F(LaunchTest, CloseMyHandleSkipsNullHandlesAndFallsBackToNtClose) {
  const int closes = m.CallCount("CloseHandle");
  CloseMyHandle(0);
  CloseMyHandle(kInvalidHandle);
  EXPECT_EQ(m.CallCount("CloseHandle"), closes);

  DWORD error = 0;
  std::u16string cmd = u"cmd.exe /c exit 0";
  STARTUPINFOW si;
  PROCESS_INFORMATION pi;
  ASSERT_TRUE(m.platform().proc.CreateProcessW(nullptr, cmd.data(), 0, nullptr, &si, &pi)) << error;
  const std::size_t open = m.OpenHandleCount();
  CloseMyHandle(pi.hThread);
  EXPECT_EQ(m.OpenHandleCount(), open - 1);
  m.InjectFault("CloseHandle", kERROR_INVALID_HANDLE, m.CallCount("CloseHandle") + 1);
  CloseMyHandle(pi.hProcess);  // refused once: NtClose still closes it
  EXPECT_EQ(m.CallCount("NtClose"), 1);
  EXPECT_EQ(m.OpenHandleCount(), open - 2);
  EXPECT_NE(Log().find("Failure in CloseHandle (trying NtClose next"), std::string::npos);
}

// ---- the tools ------------------------------------------------------------------------------

TEST_F(LaunchTest, NetCommandsManageTheTemporaryAdministratorLikeNetExe) {
  const std::u16string cmd = u"C:\\Windows\\System32\\cmd.exe";
  std::int32_t level = -1;
  ASSERT_TRUE(
      ShellX(cmd, u"/c net user Kestrune_TempAdmin /Add", true, kShellHide, level, false, 0));
  EXPECT_EQ(level, 0);
  ASSERT_TRUE(m.accounts.contains(u"kestrune_tempadmin"));
  EXPECT_TRUE(m.accounts[u"kestrune_tempadmin"].password.empty());
  ShellX(cmd, u"/c net localgroup Administrators Kestrune_TempAdmin /Add", true, kShellHide, level,
         false, 0);
  EXPECT_EQ(level, 0);
  const auto& admins = m.local_groups[u"administrators"].members;
  EXPECT_NE(std::find(admins.begin(), admins.end(), u"Kestrune_TempAdmin"), admins.end());

  // Refusals exit 2 with the tool's message, as the real net.exe does.
  ShellX(cmd, u"/c net user KESTRUNE_TEMPADMIN /add", true, kShellHide, level, false, 0);
  EXPECT_EQ(level, 2);
  EXPECT_EQ(m.console_output.back().substr(0, 26), u"The account already exists");
  ShellX(cmd, u"/c net localgroup Administrators Kestrune_TempAdmin /Add", true, kShellHide, level,
         false, 0);
  EXPECT_EQ(level, 2);

  ShellX(cmd, u"/c net user Kestrune_TempAdmin /Delete", true, kShellHide, level, false, 0);
  EXPECT_EQ(level, 0);
  EXPECT_FALSE(m.accounts.contains(u"kestrune_tempadmin"));
  EXPECT_EQ(std::count(admins.begin(), admins.end(), u"Kestrune_TempAdmin"), 0);
  ShellX(cmd, u"/c net user Kestrune_TempAdmin /Delete", true, kShellHide, level, false, 0);
  EXPECT_EQ(level, 2);
  EXPECT_EQ(m.console_output.back().substr(0, 32), u"The user name could not be found");
  ShellX(cmd, u"/c net frobnicate", true, kShellHide, level, false, 0);
  EXPECT_EQ(level, 1);
}

TEST_F(LaunchTest, CmdRunsCommandListsStartsWithoutWaitingAndReportsUnknownCommands) {
  std::u16string error_text;
  std::int32_t code = -1;
  ShellAndWait(u"cmd /c echo on && exit 4 || exit 5", kShellHide, error_text, 0, false, code);
  EXPECT_EQ(code, 4);
  ShellAndWait(u"cmd /c frobnicate || exit 5", kShellHide, error_text, 0, false, code);
  EXPECT_EQ(code, 5);
  ShellAndWait(u"cmd /c \"exit 6\"", kShellHide, error_text, 0, false, code);
  EXPECT_EQ(code, 6);

  // The one-time start entry's command: the program starts, cmd does not wait for it.
  AddTool(u"C:\\Tools\\Kestrune.exe", 0, 60000);
  ShellAndWait(u"cmd /c start \"\" \"C:\\Tools\\Kestrune.exe\" /Remove", kShellHide, error_text, 0,
               false, code);
  EXPECT_EQ(code, 0);
  const sim::SimProcess* started = Started(u"/Remove");
  ASSERT_NE(started, nullptr);
  EXPECT_EQ(started->image, u"C:\\Tools\\Kestrune.exe");
  EXPECT_TRUE(started->Running(m.local_ms));

  ShellAndWait(u"cmd /c frobnicate now", kShellHide, error_text, 0, false, code);
  EXPECT_EQ(code, 1);
  EXPECT_NE(m.console_output.back().find(u"'frobnicate' is not recognized"), std::u16string::npos);
}

TEST_F(LaunchTest, RegImportThroughRegExeWritesTheNativeRegistryView) {
  const std::u16string file = std::u16string(kTemp) + u"safeboot.reg";
  m.fs().AddFileUtf16(
      file,
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Minimal\\KesTest]\r\n"
      u"@=\"Driver\"\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorlen\\ImportTest]\r\n"
      u"\"Name\"=\"Value\"\r\n");
  RegImport(file, true);
  sim::RegistryStore& reg = m.registry();
  EXPECT_EQ(reg.GetString(kHKEY_LOCAL_MACHINE,
                          u"SYSTEM\\CurrentControlSet\\Control\\SafeBoot\\Minimal\\KesTest", u""),
            u"Driver");
  // The 64-bit reg.exe ran (redirection off), so SOFTWARE landed in the native view.
  EXPECT_EQ(reg.GetString(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Quorlen\\ImportTest", u"Name"),
            u"Value");
  EXPECT_FALSE(reg.KeyExists(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\WOW6432Node\\Quorlen\\ImportTest"));
  EXPECT_EQ(Started(u"reg.exe")->command_line,
            u"C:\\Windows\\System32\\reg.exe import \"" + file + u"\"");
  EXPECT_EQ(*Started(u"reg.exe")->exit_code, 0u);

  // A file that is not a registry script, and a missing one: reg.exe exits 1, nothing changes.
  m.fs().AddFile(std::u16string(kTemp) + u"bad.reg",
                 std::string("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad]\r\n"));
  RegImport(std::u16string(kTemp) + u"bad.reg", true);
  EXPECT_EQ(*m.processes.back().exit_code, 1u);
  EXPECT_FALSE(reg.KeyExists(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\Bad"));
  RegImport(std::u16string(kTemp) + u"none.reg", true);
  EXPECT_EQ(*m.processes.back().exit_code, 1u);

  // The 32-bit reg.exe (what a launch without the bracket would run) writes the 32-bit view.
  DWORD error = 0;
  ASSERT_NE(Create(u"reg.exe import \"" + file + u"\"", &error), 0u);
  EXPECT_TRUE(reg.KeyExists(kHKEY_LOCAL_MACHINE, u"SOFTWARE\\WOW6432Node\\Quorlen\\ImportTest"));
}

}  // namespace
}  // namespace kes
