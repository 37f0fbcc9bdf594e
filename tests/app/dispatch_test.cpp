// The switchboard: which action each argument text reaches and with which arguments, the
// network-location check in front of the Safe Mode switches, and the two questions of "/normal"
// and of the boot after a configuration.
#include <string>
#include <vector>

#include "app/dispatch.h"
#include "framework/env/environment.h"
#include "framework/env/startup.h"
#include "framework/env/startup_helpers.h"
#include "platform/sim/registry_store.h"
#include "tests/framework/env/startup_fixture.h"

namespace kes::startup_tests {
namespace {

using platform::kIDCANCEL;
using platform::kIDNO;
using platform::kIDYES;

// Every action dispatch can reach; a run must reach exactly the expected one.
const std::vector<std::u16string> kActions = {
    u"RestartWindows", u"RemoveMods",        u"DeleteTempAdminUser", u"DoSafe",
    u"DoSafeNet",      u"DoSafeNetNoReboot", u"AddMeToRunOnce",      u"ShowMainWindow"};

const std::u16string kNetworkNotice =
    u"Kestrune 可能正在从网络上运行, 请在使用前将 Kestrune.exe 复制到本地计算机中.\r\n\r\n"
    u"(如果 Windows 现在以安全模式重新启动, 则在重新启动时无法访问 Kestrune.exe 以删除此临时配置, "
    u"这可能会使您陷入安全模式中!)";

class DispatchTest : public StartupTest {
 protected:
  // The actions that ran, each once per call, in the order of kActions.
  std::vector<std::u16string> ActionsRun() const {
    std::vector<std::u16string> out;
    for (const auto& a : kActions) {
      // RemoveMods(True) deletes the temporary administrator itself: not a dispatch action.
      if (a == u"DeleteTempAdminUser" && !Calls(u"RemoveMods").empty()) continue;
      for (std::size_t i = 0; i < Calls(a).size(); ++i) out.push_back(a);
    }
    return out;
  }
  void ExpectNoMessageBoxes() const { EXPECT_TRUE(machine_.message_boxes.empty()); }
  // The recorded boot mode, written where the program reads it.
  void SetBootMode(std::uint32_t mode) {
    // A 32-bit Windows: the program's HKLM\Software is the only view there is.
    machine_.facts.is_64bit = false;
    machine_.registry().SetDword(platform::kHKEY_LOCAL_MACHINE, u"Software\\Quorlen\\Kestrune",
                                 u"BootMode", mode);
  }
};

struct SwitchCase {
  std::u16string args;
  std::u16string action;
  std::u16string expected_args;
};

TEST_F(DispatchTest, EverySwitchReachesItsActionWithTheListedArguments) {
  const std::u16string t = u".Boolean=True", f = u".Boolean=False";
  const std::vector<SwitchCase> cases = {
      {u"/reboot", u"RestartWindows",
       List({u"bForceIfHung" + t, u"bForce" + t, u"bRestartApps" + f})},
      {u"/restart", u"RestartWindows",
       List({u"bForceIfHung" + t, u"bForce" + t, u"bRestartApps" + f})},
      {u"/deletetempadminuser", u"DeleteTempAdminUser", u""},
      {u"/remove", u"RemoveMods", List({u"bFull" + t})},
      {u"/undo", u"RemoveMods", List({u"bFull" + t})},
      {u"/safe", u"DoSafe",
       List({u"bCommandPrompt" + f, u"bRestart" + t, u"bEnableF8" + t, u"bTempAdmin" + t})},
      {u"/safecmd", u"DoSafe",
       List({u"bCommandPrompt" + t, u"bRestart" + t, u"bEnableF8" + t, u"bTempAdmin" + t})},
      {u"/safenet", u"DoSafeNet", List({u"bRestart" + t, u"bEnableF8" + t, u"bTempAdmin" + t})},
      {u"/safenet-noreboot", u"DoSafeNetNoReboot", List({u"bEnableF8" + t, u"bTempAdmin" + t})},
      {u"", u"ShowMainWindow", u""},
      {u"/Remove", u"RemoveMods", List({u"bFull" + t})},
      {u"/SAFECMD", u"DoSafe",
       List({u"bCommandPrompt" + t, u"bRestart" + t, u"bEnableF8" + t, u"bTempAdmin" + t})},
  };
  for (const SwitchCase& c : cases) {
    SCOPED_TRACE(Utf8(u"argument text: [" + c.args + u"]"));
    sim::Machine machine;
    Context ctx(machine.platform());
    ContextScope scope(ctx);
    machine.SetProgramCommandLine(u"\"C:\\Tools\\Kestrune.exe\"" +
                                  (c.args.empty() ? u"" : u" " + c.args));
    try {
      Main();
    } catch (const platform::ProcessExit&) {
    }
    std::vector<std::u16string> ran;
    std::u16string args;
    for (const debug::AppProc* p : AllCalls(ctx)) {
      for (const auto& a : kActions) {
        if (p->ProcName() == a) {
          if (ran.empty()) args = std::u16string(p->Vars_Passed_ByVal());
          ran.push_back(a);
        }
      }
    }
    // The action dispatch reached runs first; what it calls in turn comes after it.
    ASSERT_FALSE(ran.empty());
    EXPECT_EQ(ran.front(), c.action);
    EXPECT_EQ(args, c.expected_args);
    const bool asks = c.action == u"DoSafe" || c.action == u"DoSafeNet";
    // The Safe Mode actions ask their restart question (unanswered: declined); the rest are silent.
    EXPECT_EQ(machine.message_boxes.size(), asks ? 1u : 0u);
    // Only the window is shown; closed untouched, it changes nothing.
    EXPECT_EQ(machine.shown_forms.size(), c.action == u"ShowMainWindow" ? 1u : 0u);
  }
}

TEST_F(DispatchTest, MixedCaseSwitchWithBlanksAroundIsStillTheSwitch) {
  SetArgs(u"   /SafeNet   ");
  RunMain();
  EXPECT_EQ(ctx_.env->AppInst_CommandLineArgs_String, u"/SafeNet");
  EXPECT_EQ(ActionsRun(), std::vector<std::u16string>{u"DoSafeNet"});
  EXPECT_EQ(ArgsOfOnlyCall(u"DoSafeNet"), List({u"bRestart.Boolean=True", u"bEnableF8.Boolean=True",
                                                u"bTempAdmin.Boolean=True"}));
}

TEST_F(DispatchTest, TextsThatAreNotWholeSwitchesDoNothing) {
  for (const char16_t* args : {u"/safe x", u"/safe now please", u"safe", u"/nothing", u"/safe/",
                               u"-safe", u"/reboot /normal"}) {
    SCOPED_TRACE(Utf8(args));
    sim::Machine machine;
    Context ctx(machine.platform());
    ContextScope scope(ctx);
    machine.SetProgramCommandLine(u"\"C:\\Tools\\Kestrune.exe\" " + std::u16string(args));
    Main();
    for (const debug::AppProc* p : AllCalls(ctx))
      for (const auto& a : kActions) EXPECT_NE(p->ProcName(), a);
    EXPECT_TRUE(machine.message_boxes.empty());
    EXPECT_EQ(ctx.env->AppInst_CommandLineArgs_String, args);
    // Silent for the user, but the log keeps what was asked.
    const std::u16string log = debug::DebugLogText();
    EXPECT_NE(log.find(u"The argument text matches no switch; nothing to do."),
              std::u16string::npos);
    EXPECT_NE(log.find(u"sArgs=" + std::u16string(args)), std::u16string::npos);
  }
}

TEST_F(DispatchTest, SafeModeSwitchesRefuseToRunFromAUncPath) {
  for (const char16_t* sw : {u"/safe", u"/safecmd"}) {
    SCOPED_TRACE(Utf8(sw));
    sim::Machine machine;
    Context ctx(machine.platform());
    ContextScope scope(ctx);
    machine.CurrentProcess().image = u"\\\\server\\share\\Kestrune.exe";
    machine.SetProgramCommandLine(u"\"\\\\server\\share\\Kestrune.exe\" " + std::u16string(sw));
    Main();
    EXPECT_TRUE(CallsIn(ctx, u"DoSafe").empty());
    ASSERT_EQ(machine.message_boxes.size(), 1u);
    EXPECT_EQ(machine.message_boxes[0].text, kNetworkNotice);
    EXPECT_EQ(machine.message_boxes[0].caption, u"Kestrune");
    EXPECT_EQ(machine.message_boxes[0].style, 0u);
    EXPECT_TRUE(ctx.env->AppPath_IsNetworkPath);
  }
}

TEST_F(DispatchTest, SafeModeSwitchesRefuseToRunFromAMappedNetworkDrive) {
  machine_.network_drives[u"Z:"] = u"\\\\server\\share";
  MoveProgramTo(u"Z:\\Kestrune.exe");
  SetArgs(u"/safe");
  RunMain();
  EXPECT_EQ(ctx_.env->AppPath, u"Z:");
  EXPECT_TRUE(Calls(u"DoSafe").empty());
  ASSERT_EQ(machine_.message_boxes.size(), 1u);
  EXPECT_EQ(machine_.message_boxes[0].text, kNetworkNotice);
  // The drive was asked for its connection; a local drive answers "not connected" instead.
  EXPECT_GE(machine_.CallCount("WNetGetConnectionW"), 1);
}

TEST_F(DispatchTest, SafeNetRunsFromANetworkLocationWithoutTheCheck) {
  MoveProgramTo(u"\\\\server\\share\\Kestrune.exe");
  SetArgs(u"/safenet");
  RunMain();
  EXPECT_EQ(ActionsRun(), std::vector<std::u16string>{u"DoSafeNet"});
  EXPECT_TRUE(Calls(u"AbortOnUNCPath").empty());
  // Only the restart question, no network notice.
  ASSERT_EQ(machine_.message_boxes.size(), 1u);
  EXPECT_EQ(machine_.message_boxes[0].style, 36u);
}

TEST_F(DispatchTest, LocalProgramPassesTheNetworkCheck) {
  SetArgs(u"/safe");
  RunMain();
  EXPECT_EQ(ActionsRun(), std::vector<std::u16string>{u"DoSafe"});
  ASSERT_EQ(Calls(u"AbortOnUNCPath").size(), 1u);
  EXPECT_EQ(Calls(u"AbortOnUNCPath")[0]->Vars_Function_Result(), u"Boolean=False");
  // Only the restart question, no network notice.
  ASSERT_EQ(machine_.message_boxes.size(), 1u);
  EXPECT_EQ(machine_.message_boxes[0].style, 36u);
  // "Not connected" answered the check; it is no failure for the next event to report.
  for (const auto& ev : Calls(u"DoSafe")[0]->NewEnum()) EXPECT_EQ(ev.APIErrorNum, 0);
}

TEST_F(DispatchTest, NormalAsksThenTellsWhenTheAnswerIsNo) {
  machine_.message_box_answers = {kIDNO};
  SetArgs(u"/normal");
  RunMain();
  // Every modification is removed before the question, whatever the answer.
  EXPECT_EQ(ActionsRun(), std::vector<std::u16string>{u"RemoveMods"});
  EXPECT_EQ(ArgsOfOnlyCall(u"RemoveMods"), List({u"bFull.Boolean=True"}));
  ASSERT_EQ(machine_.message_boxes.size(), 2u);
  EXPECT_EQ(machine_.message_boxes[0].text,
            u"Windows 现在已配置为在 \"正常模式\" 下重新启动, 您想现在就重新启动吗?");
  EXPECT_EQ(machine_.message_boxes[0].caption, u"正常重启 Windows?");
  EXPECT_EQ(machine_.message_boxes[0].style, 36u);
  EXPECT_EQ(machine_.message_boxes[1].text, u"下次重新启动时 Windows 将正常启动.");
  EXPECT_EQ(machine_.message_boxes[1].caption, u"Kestrune");
  EXPECT_EQ(machine_.message_boxes[1].style, 0u);
}

TEST_F(DispatchTest, NormalRestartsWhenTheAnswerIsYes) {
  machine_.message_box_answers = {kIDYES};
  SetArgs(u"/normal");
  RunMain();
  EXPECT_EQ(ActionsRun(), (std::vector<std::u16string>{u"RestartWindows", u"RemoveMods"}));
  EXPECT_EQ(
      ArgsOfOnlyCall(u"RestartWindows"),
      List({u"bForceIfHung.Boolean=True", u"bForce.Boolean=True", u"bRestartApps.Boolean=False"}));
  EXPECT_EQ(machine_.message_boxes.size(), 1u);
}

// ---- the boot after a configuration ---------------------------------------------------------

const std::u16string kNextBootPrompt =
    u"您是否要将下一次的 Windows 重启配置为 \"正常模式\"?\r\n\r\n"
    u"选择 \"否\" 继续 \"安全模式\" 配置, 或点击\"取消\"取消所有选项选择.";
const std::u16string kReminder =
    u"请记住:  您可以使用 Windows 内部命令 (例如 'shutdown -r -t 0') 或 \"kestrune /reboot\" "
    u"重新启动 Windows, 使用 \"kestrune /normal\" 命令直接重新启动到 \"正常模式\", "
    u"或简单的输入适用于所有选项的 \"kestrune\".";
const std::u16string kRunOnceArgs =
    u"sParam.String=/Remove" + debug::VarSeparator() + u"sEntryName.String=Quorlen Kestrune Mod";

TEST_F(DispatchTest, UndoWithCommandPromptModeAndNoRewritesTheEntryAndReminds) {
  SetBootMode(3);
  machine_.message_box_answers = {kIDNO};
  SetArgs(u"/undo");
  RunMain();
  EXPECT_EQ(ActionsRun(), std::vector<std::u16string>{u"AddMeToRunOnce"});
  EXPECT_EQ(ArgsOfOnlyCall(u"AddMeToRunOnce"), kRunOnceArgs);
  ASSERT_EQ(machine_.message_boxes.size(), 2u);
  EXPECT_EQ(machine_.message_boxes[0].text, kNextBootPrompt);
  EXPECT_EQ(machine_.message_boxes[0].style, 35u);
  EXPECT_EQ(machine_.message_boxes[0].caption, u"Kestrune");
  EXPECT_EQ(machine_.message_boxes[1].text, kReminder);
  EXPECT_EQ(machine_.message_boxes[1].style, 0u);
}

TEST_F(DispatchTest, UndoWithMinimalModeAndNoOnlyRewritesTheEntry) {
  SetBootMode(1);
  machine_.message_box_answers = {kIDNO};
  SetArgs(u"/undo");
  RunMain();
  EXPECT_EQ(ActionsRun(), std::vector<std::u16string>{u"AddMeToRunOnce"});
  EXPECT_EQ(machine_.message_boxes.size(), 1u);
}

TEST_F(DispatchTest, RemoveWithCancelKeepsEverythingAndOpensTheWindow) {
  SetBootMode(2);
  machine_.message_box_answers = {kIDCANCEL};
  SetArgs(u"/remove");
  RunMain();
  EXPECT_EQ(ActionsRun(), (std::vector<std::u16string>{u"AddMeToRunOnce", u"ShowMainWindow"}));
  EXPECT_EQ(ArgsOfOnlyCall(u"AddMeToRunOnce"), kRunOnceArgs);
}

TEST_F(DispatchTest, RemoveWithYesRemovesEverything) {
  SetBootMode(2);
  machine_.message_box_answers = {kIDYES};
  SetArgs(u"/remove");
  RunMain();
  EXPECT_EQ(ActionsRun(), std::vector<std::u16string>{u"RemoveMods"});
  EXPECT_EQ(machine_.message_boxes.size(), 1u);
}

TEST_F(DispatchTest, UnknownBootModeNumberRemovesWithoutAQuestion) {
  SetBootMode(7);
  SetArgs(u"/remove");
  RunMain();
  EXPECT_EQ(ActionsRun(), std::vector<std::u16string>{u"RemoveMods"});
  ExpectNoMessageBoxes();
}

// ---- the network path rule ------------------------------------------------------------------

TEST_F(DispatchTest, NetworkPathRuleSkipsTheConnectionQueryUnderTheSystemAccount) {
  machine_.network_drives[u"Z:"] = u"\\\\server\\share";
  InitApp(false, u"");
  EXPECT_TRUE(IsNetworkPath(u"Z:\\tools"));
  EXPECT_TRUE(IsNetworkPath(u"\\\\srv\\s\\x"));
  EXPECT_FALSE(IsNetworkPath(u"C:\\Tools"));
  // "Not connected" is the answer sought, not a failure left for the next event to report.
  EXPECT_EQ(OS().sys.GetLastError(), 0u);
  EXPECT_FALSE(IsNetworkPath(u"relative\\path"));
  const int queries = machine_.CallCount("WNetGetConnectionW");

  ctx_.env->AppInst_IsSystem = true;
  EXPECT_FALSE(IsNetworkPath(u"Z:\\tools"));
  EXPECT_EQ(machine_.CallCount("WNetGetConnectionW"), queries);
  EXPECT_TRUE(
      LogHas(u"System account detected; skipping WNetGetConnectionW (This API will crash "
             u"app under LocalSystem...)"));
  // A UNC path needs no query and stays a network path.
  EXPECT_TRUE(IsNetworkPath(u"\\\\srv\\s\\x"));
}

TEST_F(DispatchTest, FailingConnectionQueryCountsAsNetworkAndIsLogged) {
  InitApp(false, u"");
  machine_.InjectFault("WNetGetConnectionW", 1222);  // ERROR_NO_NETWORK
  EXPECT_TRUE(IsNetworkPath(u"C:\\Tools"));
  EXPECT_TRUE(LogHas(u"WNetGetConnectionW"));
}

}  // namespace
}  // namespace kes::startup_tests
