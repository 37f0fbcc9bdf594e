// The switchboard: which action each argument text reaches and with which arguments, the
// network-location check in front of the Safe Mode switches, and the two questions of "/normal"
// and of the boot after a configuration.
#include "app/dispatch.h"
#include "tests/support/machine_fixture.h"

namespace kes {
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

class DispatchTest : public MachineTest {
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
  // The recorded boot mode, on a 32-bit Windows (one registry view).
  void SetBootMode(platform::DWORD mode) {
    MakeThirtyTwoBit(m);
    SetBootModeValue(m, mode);
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
       ArgList({u"bForceIfHung" + t, u"bForce" + t, u"bRestartApps" + f})},
      {u"/restart", u"RestartWindows",
       ArgList({u"bForceIfHung" + t, u"bForce" + t, u"bRestartApps" + f})},
      {u"/deletetempadminuser", u"DeleteTempAdminUser", u""},
      {u"/remove", u"RemoveMods", ArgList({u"bFull" + t})},
      {u"/undo", u"RemoveMods", ArgList({u"bFull" + t})},
      {u"/safe", u"DoSafe",
       ArgList({u"bCommandPrompt" + f, u"bRestart" + t, u"bEnableF8" + t, u"bTempAdmin" + t})},
      {u"/safecmd", u"DoSafe",
       ArgList({u"bCommandPrompt" + t, u"bRestart" + t, u"bEnableF8" + t, u"bTempAdmin" + t})},
      {u"/safenet", u"DoSafeNet", ArgList({u"bRestart" + t, u"bEnableF8" + t, u"bTempAdmin" + t})},
      {u"/safenet-noreboot", u"DoSafeNetNoReboot", ArgList({u"bEnableF8" + t, u"bTempAdmin" + t})},
      {u"", u"ShowMainWindow", u""},
      {u"/Remove", u"RemoveMods", ArgList({u"bFull" + t})},
      {u"/SAFECMD", u"DoSafe",
       ArgList({u"bCommandPrompt" + t, u"bRestart" + t, u"bEnableF8" + t, u"bTempAdmin" + t})},
  };
  for (const SwitchCase& c : cases) {
    SCOPED_TRACE(Utf8(u"argument text: [" + c.args + u"]"));
    sim::Machine machine;
    std::u16string first, args;
    RunProgram(machine, ProgramCommandLine(machine, c.args), [&](const Context& run) {
      const auto actions = kes::Calls(run, kActions);
      if (actions.empty()) return;
      first = actions.front()->ProcName();
      args = actions.front()->Vars_Passed_ByVal();
    });
    // The action dispatch reached runs first; what it calls in turn comes after it.
    EXPECT_EQ(first, c.action);
    EXPECT_EQ(args, c.expected_args);
    const bool asks = c.action == u"DoSafe" || c.action == u"DoSafeNet";
    // The Safe Mode actions ask their restart question (unanswered: declined); the rest are silent.
    EXPECT_EQ(machine.message_boxes.size(), asks ? 1u : 0u);
    // Only the window is shown; closed untouched, it changes nothing.
    EXPECT_EQ(machine.shown_forms.size(), c.action == u"ShowMainWindow" ? 1u : 0u);
  }
}

TEST_F(DispatchTest, MixedCaseSwitchWithBlanksAroundIsStillTheSwitch) {
  RunMain(u"   /SafeNet   ");
  EXPECT_EQ(Env().AppInst_CommandLineArgs_String, u"/SafeNet");
  EXPECT_EQ(ActionsRun(), std::vector<std::u16string>{u"DoSafeNet"});
  EXPECT_EQ(
      ArgsOfOnlyCall(u"DoSafeNet"),
      ArgList({u"bRestart.Boolean=True", u"bEnableF8.Boolean=True", u"bTempAdmin.Boolean=True"}));
}

TEST_F(DispatchTest, TextsThatAreNotWholeSwitchesDoNothing) {
  for (const char16_t* args : {u"/safe x", u"/safe now please", u"safe", u"/nothing", u"/safe/",
                               u"-safe", u"/reboot /normal"}) {
    SCOPED_TRACE(Utf8(args));
    sim::Machine machine;
    RunProgram(machine, ProgramCommandLine(machine, args), [&](const Context& run) {
      EXPECT_TRUE(kes::Calls(run, kActions).empty());
      EXPECT_EQ(run.env->AppInst_CommandLineArgs_String, args);
      // Silent for the user, but the log keeps what was asked.
      EXPECT_TRUE(LogHas(u"The argument text matches no switch; nothing to do."));
      EXPECT_TRUE(LogHas(u"sArgs=" + std::u16string(args)));
    });
    EXPECT_TRUE(machine.message_boxes.empty());
  }
}

TEST_F(DispatchTest, SafeModeSwitchesRefuseToRunFromAUncPath) {
  for (const char16_t* sw : {u"/safe", u"/safecmd"}) {
    SCOPED_TRACE(Utf8(sw));
    sim::Machine machine;
    machine.CurrentProcess().image = u"\\\\server\\share\\Kestrune.exe";
    RunProgram(machine, ProgramCommandLine(machine, sw), [&](const Context& run) {
      EXPECT_TRUE(kes::Calls(run, {u"DoSafe"}).empty());
      EXPECT_TRUE(run.env->AppPath_IsNetworkPath);
    });
    ASSERT_EQ(machine.message_boxes.size(), 1u);
    EXPECT_EQ(machine.message_boxes[0].text, kNetworkNotice);
    EXPECT_EQ(machine.message_boxes[0].caption, u"Kestrune");
    EXPECT_EQ(machine.message_boxes[0].style, 0u);
  }
}

TEST_F(DispatchTest, SafeModeSwitchesRefuseToRunFromAMappedNetworkDrive) {
  m.network_drives[u"Z:"] = u"\\\\server\\share";
  m.CurrentProcess().image = u"Z:\\Kestrune.exe";
  RunMain(u"/safe");
  EXPECT_EQ(Env().AppPath, u"Z:");
  EXPECT_TRUE(Calls(u"DoSafe").empty());
  ASSERT_EQ(m.message_boxes.size(), 1u);
  EXPECT_EQ(m.message_boxes[0].text, kNetworkNotice);
  // The drive was asked for its connection; a local drive answers "not connected" instead.
  EXPECT_GE(m.CallCount("WNetGetConnectionW"), 1);
}

TEST_F(DispatchTest, SafeNetRunsFromANetworkLocationWithoutTheCheck) {
  m.CurrentProcess().image = u"\\\\server\\share\\Kestrune.exe";
  RunMain(u"/safenet");
  EXPECT_EQ(ActionsRun(), std::vector<std::u16string>{u"DoSafeNet"});
  EXPECT_TRUE(Calls(u"AbortOnUNCPath").empty());
  // Only the restart question, no network notice.
  ASSERT_EQ(m.message_boxes.size(), 1u);
  EXPECT_EQ(m.message_boxes[0].style, 36u);
}

TEST_F(DispatchTest, LocalProgramPassesTheNetworkCheck) {
  RunMain(u"/safe");
  EXPECT_EQ(ActionsRun(), std::vector<std::u16string>{u"DoSafe"});
  ASSERT_EQ(Calls(u"AbortOnUNCPath").size(), 1u);
  EXPECT_EQ(Calls(u"AbortOnUNCPath")[0]->Vars_Function_Result(), u"Boolean=False");
  // Only the restart question, no network notice.
  ASSERT_EQ(m.message_boxes.size(), 1u);
  EXPECT_EQ(m.message_boxes[0].style, 36u);
  // "Not connected" answered the check; it is no failure for the next event to report.
  for (const auto& ev : Calls(u"DoSafe")[0]->NewEnum()) EXPECT_EQ(ev.APIErrorNum, 0);
}

TEST_F(DispatchTest, NormalAsksThenTellsWhenTheAnswerIsNo) {
  m.message_box_answers = {kIDNO};
  RunMain(u"/normal");
  // Every modification is removed before the question, whatever the answer.
  EXPECT_EQ(ActionsRun(), std::vector<std::u16string>{u"RemoveMods"});
  EXPECT_EQ(ArgsOfOnlyCall(u"RemoveMods"), ArgList({u"bFull.Boolean=True"}));
  ASSERT_EQ(m.message_boxes.size(), 2u);
  EXPECT_EQ(m.message_boxes[0].text,
            u"Windows 现在已配置为在 \"正常模式\" 下重新启动, 您想现在就重新启动吗?");
  EXPECT_EQ(m.message_boxes[0].caption, u"正常重启 Windows?");
  EXPECT_EQ(m.message_boxes[0].style, 36u);
  EXPECT_EQ(m.message_boxes[1].text, u"下次重新启动时 Windows 将正常启动.");
  EXPECT_EQ(m.message_boxes[1].caption, u"Kestrune");
  EXPECT_EQ(m.message_boxes[1].style, 0u);
}

TEST_F(DispatchTest, NormalRestartsWhenTheAnswerIsYes) {
  m.message_box_answers = {kIDYES};
  RunMain(u"/normal");
  EXPECT_EQ(ActionsRun(), (std::vector<std::u16string>{u"RestartWindows", u"RemoveMods"}));
  EXPECT_EQ(ArgsOfOnlyCall(u"RestartWindows"),
            ArgList({u"bForceIfHung.Boolean=True", u"bForce.Boolean=True",
                     u"bRestartApps.Boolean=False"}));
  EXPECT_EQ(m.message_boxes.size(), 1u);
}

// ---- the boot after a configuration ---------------------------------------------------------

const std::u16string kRunOnceArgs =
    u"sParam.String=/Remove" + debug::VarSeparator() + u"sEntryName.String=Quorlen Kestrune Mod";

TEST_F(DispatchTest, UndoWithCommandPromptModeAndNoRewritesTheEntryAndReminds) {
  SetBootMode(3);
  m.message_box_answers = {kIDNO};
  RunMain(u"/undo");
  EXPECT_EQ(ActionsRun(), std::vector<std::u16string>{u"AddMeToRunOnce"});
  EXPECT_EQ(ArgsOfOnlyCall(u"AddMeToRunOnce"), kRunOnceArgs);
  ASSERT_EQ(m.message_boxes.size(), 2u);
  EXPECT_EQ(m.message_boxes[0].text, kNextBootPrompt);
  EXPECT_EQ(m.message_boxes[0].style, 35u);
  EXPECT_EQ(m.message_boxes[0].caption, u"Kestrune");
  EXPECT_EQ(m.message_boxes[1].text, kReminder);
  EXPECT_EQ(m.message_boxes[1].style, 0u);
}

TEST_F(DispatchTest, UndoWithMinimalModeAndNoOnlyRewritesTheEntry) {
  SetBootMode(1);
  m.message_box_answers = {kIDNO};
  RunMain(u"/undo");
  EXPECT_EQ(ActionsRun(), std::vector<std::u16string>{u"AddMeToRunOnce"});
  EXPECT_EQ(m.message_boxes.size(), 1u);
}

TEST_F(DispatchTest, RemoveWithCancelKeepsEverythingAndOpensTheWindow) {
  SetBootMode(2);
  m.message_box_answers = {kIDCANCEL};
  RunMain(u"/remove");
  EXPECT_EQ(ActionsRun(), (std::vector<std::u16string>{u"AddMeToRunOnce", u"ShowMainWindow"}));
  EXPECT_EQ(ArgsOfOnlyCall(u"AddMeToRunOnce"), kRunOnceArgs);
}

TEST_F(DispatchTest, RemoveWithYesRemovesEverything) {
  SetBootMode(2);
  m.message_box_answers = {kIDYES};
  RunMain(u"/remove");
  EXPECT_EQ(ActionsRun(), std::vector<std::u16string>{u"RemoveMods"});
  EXPECT_EQ(m.message_boxes.size(), 1u);
}

TEST_F(DispatchTest, UnknownBootModeNumberRemovesWithoutAQuestion) {
  SetBootMode(7);
  RunMain(u"/remove");
  EXPECT_EQ(ActionsRun(), std::vector<std::u16string>{u"RemoveMods"});
  EXPECT_TRUE(m.message_boxes.empty());
}

}  // namespace
}  // namespace kes
