// Restarting Windows and logging off: the flag word and reason handed to the system, the
// privilege it needs, and the command-line tool that takes over when the system refuses, so a
// restart the user was promised still happens (or at least is attempted and logged).
#include "framework/process/shutdown.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

// A tool's command line as the program starts it: from the system folder.
std::u16string Sys(std::u16string_view command) {
  return u"C:\\Windows\\System32\\" + std::u16string(command);
}

using Kind = sim::ShutdownRequest::Kind;

class ShutdownTest : public MachineTest {
 protected:
  // The simulated system refuses every ExitWindowsEx (as it would with access denied).
  void RefuseExitWindowsEx() { m.InjectFault("ExitWindowsEx", platform::kERROR_ACCESS_DENIED); }
  // The flag word ShutdownSystem was asked for, as its trace record keeps it.
  std::u16string ShutdownSystemFlags() const {
    return Field(ArgsOfOnlyCall(u"ShutdownSystem"), u"eType");
  }
};

TEST_F(ShutdownTest, ForcedRestartOnWindows10AsksTheSystemWithFlags6AndThePlannedReason) {
  Use("win10");
  Start();
  EXPECT_TRUE(RestartWindows(kForcedShutdown));

  ASSERT_EQ(m.shutdown_requests.size(), 1u);
  const sim::ShutdownRequest& r = m.shutdown_requests[0];
  EXPECT_EQ(r.via, u"ExitWindowsEx");
  EXPECT_EQ(r.kind, Kind::kRestart);
  EXPECT_EQ(r.flags, 6u);
  EXPECT_EQ(r.reason, 0x80040001u);
  EXPECT_TRUE(r.forced);
  // The privilege the system asks for was switched on in the program's own token.
  EXPECT_TRUE(m.token.privileges.at(u"SeShutdownPrivilege"));
  EXPECT_TRUE(StartedByProgram().empty());
  EXPECT_FALSE(LogHas(u"API Failure"));
}

TEST_F(ShutdownTest, RefusedRestartStartsShutdownExeHiddenAndReportsFailure) {
  Use("win10");
  Start();
  RefuseExitWindowsEx();
  EXPECT_FALSE(RestartWindows(kForcedShutdown));

  EXPECT_EQ(ShutdownSystemFlags(), u"6");
  EXPECT_EQ(StartedByProgram(), std::vector<std::u16string>{Sys(u"shutdown.exe -r -t 0 -f")});
  const sim::SimProcess* tool = Started(m, Sys(u"shutdown.exe -r -t 0 -f"));
  ASSERT_NE(tool, nullptr);
  EXPECT_EQ(tool->show_window, 0);  // SW_HIDE
  // The tool did its work; the program does not wait for it nor claim it.
  ASSERT_EQ(m.shutdown_requests.size(), 1u);
  EXPECT_EQ(m.shutdown_requests[0].via, u"shutdown.exe");
  EXPECT_EQ(m.shutdown_requests[0].kind, Kind::kRestart);
  EXPECT_TRUE(m.shutdown_requests[0].forced);
  // Both the refusal and the way out are in the log.
  EXPECT_TRUE(LogHas(u"ExitWindowsEx"));
  EXPECT_TRUE(LogHas(u"关闭系统失败: "));
  EXPECT_TRUE(LogHas(u"API Failure; calling external process."));
  EXPECT_TRUE(LogHas(u"bForceIfHung.Boolean=True"));
}

TEST_F(ShutdownTest, RefusedRestartOnWinPEStartsWpeutilInsteadOfShutdownExe) {
  Use("winpe");
  m.fs().AddFile(m.facts.windows_dir + u"\\System32\\wpeutil.exe", std::string_view("MZ"));
  Start();
  ASSERT_TRUE(Env().WinType_PE);
  RefuseExitWindowsEx();
  EXPECT_FALSE(RestartWindows(kForcedShutdown));

  EXPECT_EQ(StartedByProgram(), std::vector<std::u16string>{Sys(u"wpeutil.exe Reboot")});
  EXPECT_TRUE(LogHas(u"API Failure; calling external process.  (wpeutil.exe)"));
  ASSERT_EQ(m.shutdown_requests.size(), 1u);
  EXPECT_EQ(m.shutdown_requests[0].via, u"wpeutil.exe");
}

// Every row of the flag table, on a system that accepts (the flags) and one that refuses (the
// tool's arguments).
struct FlagRow {
  const char* profile;
  bool logoff, force_if_hung, force, restart_apps;
  unsigned flags;
  std::vector<std::u16string> fallback;
};

void PrintTo(const FlagRow& r, std::ostream* os) {
  *os << r.profile << (r.logoff ? " logoff" : " restart") << " hung=" << r.force_if_hung
      << " force=" << r.force << " apps=" << r.restart_apps;
}

const FlagRow kFlagRows[] = {
    {"win10", false, true, true, false, 0x6, {Sys(u"shutdown.exe -r -t 0 -f")}},
    {"win10", false, false, true, true, 0x46, {Sys(u"shutdown.exe -r -t 0 -f")}},
    {"win10", false, true, false, false, 0x12, {Sys(u"shutdown.exe -r -t 0 -f")}},
    {"win10", false, true, false, true, 0x52, {Sys(u"shutdown.exe -r -t 0 -f")}},
    {"win10", false, false, false, false, 0x2, {Sys(u"shutdown.exe -r -t 0")}},
    {"win10", false, false, false, true, 0x42, {Sys(u"shutdown.exe -r -t 0")}},
    // Before Vista the restart-apps flag does not exist and is dropped.
    {"xp-sp3", false, false, false, true, 0x2, {Sys(u"shutdown.exe -r -t 0")}},
    {"win10", true, true, true, false, 0x4, {Sys(u"shutdown.exe -l -t 0 -f"), Sys(u"logoff.exe")}},
    {"win10", true, false, true, true, 0x44, {Sys(u"shutdown.exe -l -t 0 -f"), Sys(u"logoff.exe")}},
    {"win10",
     true,
     true,
     false,
     false,
     0x10,
     {Sys(u"shutdown.exe -l -t 0 -f"), Sys(u"logoff.exe")}},
    {"win10", true, true, false, true, 0x50, {Sys(u"shutdown.exe -l -t 0 -f"), Sys(u"logoff.exe")}},
    {"win10", true, false, false, false, 0x0, {Sys(u"shutdown.exe -l -t 0"), Sys(u"logoff.exe")}},
    {"win10", true, false, false, true, 0x40, {Sys(u"shutdown.exe -l -t 0"), Sys(u"logoff.exe")}},
};

class FlagTableTest : public ShutdownTest,
                      public ::testing::WithParamInterface<std::tuple<FlagRow, bool>> {};

TEST_P(FlagTableTest, RowGivesItsFlagsOrWhenRefusedItsFallbackArguments) {
  const auto& [row, refused] = GetParam();
  Use(row.profile);
  Start();
  if (refused) m.InjectFault("ExitWindowsEx", platform::kERROR_ACCESS_DENIED);
  const bool ok = row.logoff ? LogoffWindows({row.force_if_hung, row.force, row.restart_apps})
                             : RestartWindows({row.force_if_hung, row.force, row.restart_apps});
  EXPECT_EQ(ok, !refused);
  if (!refused) {
    ASSERT_EQ(m.shutdown_requests.size(), 1u);
    EXPECT_EQ(m.shutdown_requests[0].flags, row.flags);
    EXPECT_EQ(m.shutdown_requests[0].reason, kShutdownReason);
    EXPECT_TRUE(StartedByProgram().empty());
  } else {
    EXPECT_EQ(StartedByProgram(), row.fallback);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, FlagTableTest,
                         ::testing::Combine(::testing::ValuesIn(kFlagRows), ::testing::Bool()));

TEST_F(ShutdownTest, RefusedForcedLogoffStartsShutdownExeAndThenLogoffExe) {
  Use("win10");
  Start();
  RefuseExitWindowsEx();
  EXPECT_FALSE(LogoffWindows(kForcedShutdown));

  EXPECT_EQ(StartedByProgram(),
            (std::vector<std::u16string>{Sys(u"shutdown.exe -l -t 0 -f"), Sys(u"logoff.exe")}));
  ASSERT_EQ(m.shutdown_requests.size(), 2u);
  EXPECT_EQ(m.shutdown_requests[0].via, u"shutdown.exe");
  EXPECT_EQ(m.shutdown_requests[0].kind, Kind::kLogoff);
  EXPECT_EQ(m.shutdown_requests[1].via, u"logoff.exe");
}

TEST_F(ShutdownTest, LogoffNeedsNoPrivilegeAndIsAcceptedAsLogoff) {
  Use("win10");
  Start();
  m.token.privileges.erase(u"SeShutdownPrivilege");
  EXPECT_TRUE(LogoffWindows(kForcedShutdown));
  ASSERT_EQ(m.shutdown_requests.size(), 1u);
  EXPECT_EQ(m.shutdown_requests[0].kind, Kind::kLogoff);
  EXPECT_EQ(m.shutdown_requests[0].flags, 4u);
}

// ---- the shutdown privilege -----------------------------------------------------------------

TEST_F(ShutdownTest, WhenTheOwnTokenCannotBeOpenedThePrivilegeRoutineStillGetsTheRestartThrough) {
  Use("win10");
  Start();
  // Only the first open fails: NTEnableShutDown's; SetPrivilegeToken's goes through.
  m.InjectFault("OpenProcessToken", platform::kERROR_ACCESS_DENIED,
                m.CallCount("OpenProcessToken") + 1);
  const std::size_t before = Calls(u"SetPrivilegeToken").size();  // start-up's own
  EXPECT_TRUE(RestartWindows(kForcedShutdown));

  EXPECT_TRUE(
      LogHas(u"Can't enable shutdown: You do not have the privileges to shutdown this system. ["));
  EXPECT_TRUE(LogHas(u"Failed to enable privilege!  Trying again with qzr Platform method..."));
  EXPECT_EQ(Calls(u"SetPrivilegeToken").size(), before + 1);
  ASSERT_EQ(m.shutdown_requests.size(), 1u);
  EXPECT_EQ(m.shutdown_requests[0].via, u"ExitWindowsEx");
}

TEST_F(ShutdownTest, WhenNoWayEnablesThePrivilegeTheSystemIsNotAskedAndTheToolTakesOver) {
  Use("win10");
  Start();
  m.InjectFault("LookupPrivilegeValueA", platform::kERROR_NO_SUCH_PRIVILEGE);
  EXPECT_FALSE(RestartWindows(kForcedShutdown));

  EXPECT_TRUE(LogHas(u"Can't enable shutdown: Can't find the SE_SHUTDOWN_NAME privilege value. ["));
  EXPECT_TRUE(LogHas(u"Aborting; Failed to enable privilege!  (qzr Platform method.)"));
  EXPECT_EQ(m.CallCount("ExitWindowsEx"), 0);
  EXPECT_EQ(StartedByProgram(), std::vector<std::u16string>{Sys(u"shutdown.exe -r -t 0 -f")});
}

TEST_F(ShutdownTest, TokenWithoutTheShutdownPrivilegeIsRefusedByTheSystemAndByTheTool) {
  Use("win10");
  Start();
  // A token that never held the privilege: the adjustment "succeeds" (not all assigned), which
  // the program does not notice, and the system refuses the restart.
  m.token.privileges.erase(u"SeShutdownPrivilege");
  EXPECT_FALSE(RestartWindows(kForcedShutdown));

  EXPECT_TRUE(LogHas(u"关闭系统失败: "));
  EXPECT_EQ(StartedByProgram(), std::vector<std::u16string>{Sys(u"shutdown.exe -r -t 0 -f")});
  EXPECT_TRUE(m.shutdown_requests.empty());
}

}  // namespace
}  // namespace kes
