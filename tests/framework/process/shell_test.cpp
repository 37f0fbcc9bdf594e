// Launching external programs as the program depends on it: the tools run with the real
// System32 and hidden, exit codes come back, waits keep window messages flowing and end as soon
// as the program does, time-outs leave the program running, and handles are closed whatever
// Windows answers.
#include "framework/process/shell.h"
#include "framework/process/close_handle.h"
#include "framework/process/exit_wait.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using namespace platform;  // NOLINT: Win32 names read best unqualified in these tests

class LaunchTest : public MachineTest {
 protected:
  LaunchTest() { StartupFacts(); }
};

// ---- the shell launchers --------------------------------------------------------------------

TEST_F(LaunchTest, ShellAndWaitRunsToolsHiddenWithTheRealSystem32AndReturnsExitCodes) {
  const std::size_t handles = m.OpenHandleCount();
  std::u16string error_text;
  std::int32_t exit_code = -1;
  EXPECT_TRUE(
      ShellAndWait(u"cmd.exe /c exit 3", kShellHide, error_text, 2000000000, false, exit_code));
  EXPECT_EQ(exit_code, 3);
  EXPECT_TRUE(error_text.empty());
  const sim::SimProcess* cmd = Started(m, u"exit 3");
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
  AddTool(m, u"C:\\Windows\\System32\\quick.exe", 0);
  AddTool(m, u"C:\\Windows\\System32\\quickfail.exe", 4);
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

using LaunchFailurePaths = LaunchTest;

// A tool whose exit code cannot be read has not been seen to work: both launchers say so.
TEST_F(LaunchFailurePaths, AnExitCodeThatCannotBeReadIsAFailure) {
  AddTool(m, u"C:\\Windows\\System32\\tool.exe", 0);
  m.InjectFault("GetExitCodeProcess", kERROR_INVALID_HANDLE);
  std::u16string error_text;
  std::int32_t exit_code = 7;
  EXPECT_FALSE(ShellAndWait(u"tool.exe", kShellHide, error_text, 2000000000, false, exit_code));
  EXPECT_EQ(exit_code, 7);
  EXPECT_EQ(Utf8(error_text).find("Could not read the exit code"), 0u) << Utf8(error_text);
  std::int32_t level = 7;
  EXPECT_FALSE(ShellX(u"tool.exe", u"", true, kShellHide, level, false, 0));
  EXPECT_EQ(level, 7);
  EXPECT_TRUE(LogHas(u"GetExitCodeProcess"));
}

TEST_F(LaunchTest, ShellXRefusesBadInputWithAClearLogEntryAndStartsNothing) {
  std::int32_t level = 77;
  EXPECT_FALSE(ShellX(u"", u"", true, kShellHide, level, false, 0));
  EXPECT_TRUE(LogHas("Passed empty string!"));
  EXPECT_FALSE(ShellX(u"C:\\Tools\\missing.exe", u"/x", true, kShellHide, level, false, 0));
  EXPECT_TRUE(LogHas("File not found!"));
  EXPECT_TRUE(m.started_command_lines.empty());
  EXPECT_EQ(level, 77);  // untouched

  // A bare name is not tested first: the launch itself fails and says why (error 2).
  EXPECT_FALSE(ShellX(u"nosuch.exe", u"", false, kShellHide, level, false, 0));
  EXPECT_TRUE(LogHas("CreateProcessW"));
  EXPECT_TRUE(LogHas("The system cannot find the file specified."));
  EXPECT_TRUE(LogHas("File not found"));  // the launcher's run-time error
  EXPECT_TRUE(LogHas("Shell (Failed); Could not obtain a Process ID!"));
}

TEST_F(LaunchTest, ShellXQuotesPathsWithBlanksAndHandsBackTheExitCode) {
  AddTool(m, u"C:\\Program Files\\Tool Dir\\tool.exe", 5, 120);
  std::int32_t level = -1;
  EXPECT_TRUE(ShellX(u"C:\\Program Files\\Tool Dir\\tool.exe", u"/a b", true,
                     kShellMinimizedNoFocus, level, false, 0));
  EXPECT_EQ(level, 5);
  EXPECT_EQ(m.started_command_lines.back(), u"\"C:\\Program Files\\Tool Dir\\tool.exe\" /a b");
  EXPECT_EQ(Started(m, u"/a b")->show_window, kShellMinimizedNoFocus);
  EXPECT_EQ(Started(m, u"/a b")->creation_flags, 0u);  // a shown program keeps its console window

  // Without waiting: started, level untouched, the program still runs.
  level = -1;
  EXPECT_TRUE(
      ShellX(u"C:\\Program Files\\Tool Dir\\tool.exe", u"", false, kShellHide, level, false, 0));
  EXPECT_EQ(level, -1);
  EXPECT_TRUE(m.processes.back().Running(m.local_ms));
}

TEST_F(LaunchTest, WaitsPumpMessagesEveryPassAndEndWhenTheProgramEnds) {
  AddTool(m, u"C:\\Tools\\long.exe", 2, 1050);
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
  AddTool(m, u"C:\\Tools\\quick.exe", 0, 30);
  for (ExitWaitStyle style : {ExitWaitStyle::kMessageAware, ExitWaitStyle::kClassicSleep}) {
    std::u16string cmd = u"C:\\Tools\\quick.exe";
    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(proc.CreateProcessW(nullptr, cmd.data(), 0, nullptr, &si, &pi));
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
  AddTool(m, u"C:\\Tools\\hang.exe", 9, 5000);
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
  EXPECT_GE(LogCount(u"ShellX (Failed) The process has timed out."), 2);  // both entries

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

  std::u16string cmd = u"cmd.exe /c exit 0";
  STARTUPINFOW si;
  PROCESS_INFORMATION pi;
  ASSERT_TRUE(m.platform().proc.CreateProcessW(nullptr, cmd.data(), 0, nullptr, &si, &pi));
  const std::size_t open = m.OpenHandleCount();
  CloseMyHandle(pi.hThread);
  EXPECT_EQ(m.OpenHandleCount(), open - 1);
  m.InjectFault("CloseHandle", kERROR_INVALID_HANDLE, m.CallCount("CloseHandle") + 1);
  CloseMyHandle(pi.hProcess);  // refused once: NtClose still closes it
  EXPECT_EQ(m.CallCount("NtClose"), 1);
  EXPECT_EQ(m.OpenHandleCount(), open - 2);
  EXPECT_TRUE(LogHas("Failure in CloseHandle (trying NtClose next"));
}

}  // namespace
}  // namespace kes
