// The Windows tools of the simulated machine, run as the program's own process would run them:
// bcdedit.exe on the boot store, cmd.exe's command lists and pipes, net.exe on the accounts, and
// shutdown.exe and wpeutil.exe asking for the end of the session, each with the real tool's
// exit codes.
#include "platform/sim/tools.h"
#include "platform/sim/shutdown.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

class ToolsTest : public MachineTest {
 protected:
  // One System32: the tools run straight from the test, in the program's 32-bit process, and
  // find each other there.
  ToolsTest() { MakeThirtyTwoBit(m); }
};

TEST_F(ToolsTest, BcdeditCommandsAndExitCodes) {
  auto run = [&](std::u16string_view args) {
    return sim::RunBcdedit(m, u"bcdedit.exe " + std::u16string(args));
  };
  EXPECT_EQ(run(u"/deletevalue safeboot"), 1u);  // absent element
  EXPECT_NE(m.console_output.back().find(u"Element not found."), std::u16string::npos);
  EXPECT_EQ(run(u"/set safeboot network"), 0u);
  EXPECT_EQ(run(u"/set {default} safeboot minimal"), 0u);
  EXPECT_EQ(SafeBoot(m), u"Minimal");
  EXPECT_EQ(m.bcd().NextCleanBoot(), 1);
  EXPECT_EQ(run(u"/deletevalue {current} safeboot"), 0u);
  EXPECT_EQ(m.bcd().NextCleanBoot(), 0);
  EXPECT_EQ(run(u"/set safeboot fast"), 1u);    // no such value
  EXPECT_EQ(run(u"/set nosuchelement 1"), 1u);  // no such element
  EXPECT_EQ(run(u"/set {nosuchentry} safeboot minimal"), 1u);
  EXPECT_EQ(run(u"/enum {nosuchentry}"), 1u);
  EXPECT_EQ(run(u"/export C:\\NoFolder\\BCDbak"), 1u);  // folder missing
  EXPECT_EQ(run(u"/export C:\\BCDbak"), 0u);
  EXPECT_TRUE(m.fs().Exists(u"C:\\BCDbak"));
  m.token.elevated = false;
  EXPECT_EQ(run(u"/set safeboot minimal"), 1u);
  EXPECT_FALSE(SafeBoot(m));
}

// The program asks the store whether the Safe Mode element is still there the way an admin
// would at a prompt: the listing piped through find, whose exit code answers.
TEST_F(ToolsTest, TheStoreListingPipedThroughFindTellsWhetherSafeModeIsSet) {
  const std::u16string query = u"cmd.exe /c bcdedit.exe /enum {current} | find \"safeboot \"";
  auto ask = [&] {
    m.console_output.clear();
    return sim::RunCmd(m, query);
  };
  sim::RunBcdedit(m, u"bcdedit.exe /set safebootalternateshell true");
  EXPECT_EQ(ask(), 1u) << "the alternate shell element alone is not Safe Mode";
  sim::RunBcdedit(m, u"bcdedit.exe /set safeboot network");
  EXPECT_EQ(ask(), 0u);
  ASSERT_EQ(m.console_output.size(), 1u);
  EXPECT_TRUE(m.console_output[0].starts_with(u"safeboot "));
  EXPECT_TRUE(m.console_output[0].ends_with(u"Network"));
  sim::RunBcdedit(m, u"bcdedit.exe /deletevalue safeboot");
  EXPECT_EQ(ask(), 1u);
  EXPECT_TRUE(m.console_output.empty());
}

TEST_F(ToolsTest, NetManagesTheTemporaryAdministratorLikeNetExe) {
  auto net = [&](std::u16string_view args) {
    return sim::RunCmd(m, u"cmd.exe /c net " + std::u16string(args));
  };
  EXPECT_EQ(net(u"user Kestrune_TempAdmin /Add"), 0u);
  ASSERT_TRUE(m.accounts.contains(u"kestrune_tempadmin"));
  EXPECT_TRUE(m.accounts[u"kestrune_tempadmin"].password.empty());
  EXPECT_EQ(net(u"localgroup Administrators Kestrune_TempAdmin /Add"), 0u);
  const auto& admins = m.local_groups[u"administrators"].members;
  EXPECT_EQ(std::ranges::count(admins, u"Kestrune_TempAdmin"), 1);

  // Refusals exit 2 with the tool's message, as the real net.exe does.
  EXPECT_EQ(net(u"user KESTRUNE_TEMPADMIN /add"), 2u);
  EXPECT_EQ(m.console_output.back().substr(0, 26), u"The account already exists");
  EXPECT_EQ(net(u"localgroup Administrators Kestrune_TempAdmin /Add"), 2u);

  EXPECT_EQ(net(u"user Kestrune_TempAdmin /Delete"), 0u);
  EXPECT_FALSE(m.accounts.contains(u"kestrune_tempadmin"));
  EXPECT_EQ(std::ranges::count(admins, u"Kestrune_TempAdmin"), 0);
  EXPECT_EQ(net(u"user Kestrune_TempAdmin /Delete"), 2u);
  EXPECT_EQ(m.console_output.back().substr(0, 32), u"The user name could not be found");
  EXPECT_EQ(net(u"frobnicate"), 1u);
}

TEST_F(ToolsTest, CmdRunsCommandListsStartsWithoutWaitingAndReportsUnknownCommands) {
  EXPECT_EQ(sim::RunCmd(m, u"cmd /c echo on && exit 4 || exit 5"), 4u);
  EXPECT_EQ(sim::RunCmd(m, u"cmd /c frobnicate || exit 5"), 5u);
  EXPECT_EQ(sim::RunCmd(m, u"cmd /c \"exit 6\""), 6u);

  // The one-time start entry's command: the program starts, cmd does not wait for it.
  AddTool(m, u"C:\\Tools\\Kestrune.exe", 0, 60000);
  EXPECT_EQ(sim::RunCmd(m, u"cmd /c start \"\" \"C:\\Tools\\Kestrune.exe\" /Remove"), 0u);
  const sim::SimProcess* started = Started(m, u"/Remove");
  ASSERT_NE(started, nullptr);
  EXPECT_EQ(started->image, u"C:\\Tools\\Kestrune.exe");
  EXPECT_TRUE(started->Running(m.local_ms));

  EXPECT_EQ(sim::RunCmd(m, u"cmd /c frobnicate now"), 1u);
  EXPECT_NE(m.console_output.back().find(u"'frobnicate' is not recognized"), std::u16string::npos);
}

TEST_F(ToolsTest, ShutdownExeReadsItsOptionsAsTheRealToolDoes) {
  struct Case {
    std::u16string args;
    platform::DWORD exit_code;
    std::size_t recorded;
  };
  const std::vector<Case> cases = {
      {u"-r -t 0 -f -d p:4:1", 0, 1},
      {u"/s /t 30", 0, 1},
      {u"-l", 0, 1},
      {u"-l -d p:4:1", 87, 0},  // a logoff takes no reason
      {u"-a", 1116, 0},         // nothing to abort
      {u"-r -t", 87, 0},        // a time-out without its value
      {u"-x", 87, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.args));
    m.shutdown_requests.clear();
    EXPECT_EQ(sim::RunShutdownTool(m, u"shutdown.exe " + c.args), c.exit_code);
    EXPECT_EQ(m.shutdown_requests.size(), c.recorded);
  }
  m.shutdown_requests.clear();
  sim::RunShutdownTool(m, u"shutdown.exe -r -t 0 -f -d p:4:1");
  EXPECT_EQ(m.shutdown_requests[0].reason, 0x80040001u);
  EXPECT_EQ(m.shutdown_requests[0].flags, 6u);
  // A count-down closes applications without asking, as -f would.
  m.shutdown_requests.clear();
  sim::RunShutdownTool(m, u"shutdown.exe /s /t 30");
  EXPECT_TRUE(m.shutdown_requests[0].forced);

  m.InjectFault("shutdown.exe", 1190);  // a shutdown is already scheduled
  EXPECT_EQ(sim::RunShutdownTool(m, u"shutdown.exe -r -t 0"), 1190u);
}

TEST_F(ToolsTest, WpeutilKnowsRebootAndShutdownButNoLogoff) {
  EXPECT_EQ(sim::RunWpeutilTool(m, u"wpeutil.exe Reboot"), 0u);
  EXPECT_EQ(sim::RunWpeutilTool(m, u"wpeutil.exe shutdown"), 0u);
  EXPECT_EQ(sim::RunWpeutilTool(m, u"wpeutil.exe InitializeNetwork"), 0u);
  EXPECT_NE(sim::RunWpeutilTool(m, u"wpeutil.exe Logoff"), 0u);
  ASSERT_EQ(m.shutdown_requests.size(), 2u);
  EXPECT_EQ(m.shutdown_requests[0].kind, sim::ShutdownRequest::Kind::kRestart);
  EXPECT_EQ(m.shutdown_requests[1].kind, sim::ShutdownRequest::Kind::kShutdown);
}

}  // namespace
}  // namespace kes
