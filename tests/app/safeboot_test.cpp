// Safe-boot switching on the simulated machine: the order of the steps of each variant, the
// exact tool command lines and registry data, the undo, the simulated boot configuration tool,
// and a configuration whose boot setting or undo hook fails (undone, told, never restarted).
#include <string>
#include <vector>

#include "framework/fs/files.h"
#include "platform/sim/tools.h"
#include "platform/sim/version_profiles.h"
#include "tests/app/safeboot_fixture.h"

namespace kes::safeboot_tests {
namespace {

using platform::kIDNO;
using platform::kIDYES;
using V = std::vector<std::u16string>;

const V kSteps = {u"RemoveMods",     u"CreateTempAdminUser", u"BackupBCD",     u"SetCMDAutorun",
                  u"AddMeToRunOnce", u"EnableF8Menu",        u"RestartWindows"};

// ---- the order of the steps ---------------------------------------------------------------

TEST_F(SafeBootTest, MinimalOnWindows10WithoutRestartRunsTheStepsInOrder) {
  // Left-overs of an earlier configuration, which RemoveMods(False) must clear first.
  SetBootModeValue(2);
  machine_.registry().SetString(kHKLM, kCommandProcessorKey, u"Autorun", u"old");
  machine_.bcd().Find(u"{current}")->elements[u"safebootalternateshell"] = u"Yes";
  Start();

  EXPECT_TRUE(DoSafe(false, {}));

  EXPECT_EQ(ProcsRun(kSteps), (V{u"RemoveMods", u"BackupBCD", u"AddMeToRunOnce"}));
  EXPECT_EQ(
      BootToolRuns(),
      (V{u"bcdedit.exe /deletevalue safeboot", u"bcdedit.exe /deletevalue safebootalternateshell",
         u"bcdedit.exe /export C:\\BCDbak", u"bcdedit.exe /set safeboot minimal"}));
  EXPECT_FALSE(BootModeValue(machine_));
  EXPECT_FALSE(Autorun(machine_));
  EXPECT_EQ(RunOnceEntry(machine_), kEntryData);
  EXPECT_EQ(SafeBoot(machine_), u"Minimal");
  EXPECT_FALSE(machine_.bcd().Get(u"{current}", u"safebootalternateshell"));
  EXPECT_TRUE(machine_.fs().Exists(u"C:\\BCDbak"));
  EXPECT_TRUE(machine_.message_boxes.empty());
  EXPECT_TRUE(machine_.shutdown_requests.empty());
  EXPECT_FALSE(ctx_.RestartDeclined);
}

TEST_F(SafeBootTest, SecondConfigurationKeepsTheFirstBackup) {
  Start();
  DoSafe(false, {});
  const auto first = machine_.fs().ReadFile(u"C:\\BCDbak");
  machine_.started_command_lines.clear();
  DoSafeNet({});
  EXPECT_EQ(BootToolRuns(), (V{u"bcdedit.exe /deletevalue safeboot",
                               u"bcdedit.exe /deletevalue safebootalternateshell",
                               u"bcdedit.exe /set safeboot network"}));
  // The backup still holds the store as it was before any Safe Mode setting.
  EXPECT_EQ(machine_.fs().ReadFile(u"C:\\BCDbak"), first);
  EXPECT_EQ(SafeBoot(machine_), u"Network");
}

TEST_F(SafeBootTest, CommandPromptVariantWritesShellHookAndMarkerInsteadOfTheEntry) {
  Start();
  EXPECT_TRUE(DoSafe(true, {}));
  EXPECT_EQ(ProcsRun(kSteps), (V{u"RemoveMods", u"BackupBCD", u"SetCMDAutorun"}));
  EXPECT_EQ(BootToolRuns().back(), u"bcdedit.exe /set safebootalternateshell true");
  EXPECT_FALSE(RunOnceEntry(machine_));
  EXPECT_EQ(Autorun(machine_), kAutorunData);
  EXPECT_EQ(machine_.registry().GetString(kHKLM, kSafeBootKey, u"AlternateShell"), u"cmd.exe");
  EXPECT_EQ(machine_.fs().ReadText(kMarker), "\"C:\\Tools\\Kestrune.exe\" %1\r\n");
  EXPECT_EQ(SafeBoot(machine_), u"Minimal");
  EXPECT_EQ(machine_.bcd().Get(u"{current}", u"safebootalternateshell"), u"Yes");
  EXPECT_TRUE(machine_.bcd().NextBootAlternateShell());
}

TEST_F(SafeBootTest, NetworkWithRestartAsksThenSetsTheMenuAndRestarts) {
  Start();
  machine_.message_box_answers = {kIDYES};
  EXPECT_TRUE(DoSafeNet({.restart = true, .enable_f8 = true}));
  ASSERT_EQ(machine_.message_boxes.size(), 1u);
  EXPECT_EQ(machine_.message_boxes[0].text, u"重启到带网络的安全模式?");
  EXPECT_EQ(machine_.message_boxes[0].style, 36u);
  EXPECT_EQ(machine_.message_boxes[0].caption, u"Kestrune");
  EXPECT_EQ(ProcsRun(kSteps), (V{u"RemoveMods", u"BackupBCD", u"AddMeToRunOnce", u"EnableF8Menu",
                                 u"RestartWindows"}));
  const V runs = BootToolRuns();
  EXPECT_EQ(V(runs.end() - 2, runs.end()),
            (V{u"bcdedit.exe /set {default} bootmenupolicy legacy",
               u"bcdedit.exe /set {current} bootmenupolicy legacy"}));
  EXPECT_EQ(machine_.bcd().Get(u"{default}", u"bootmenupolicy"), u"Legacy");
  ASSERT_EQ(machine_.shutdown_requests.size(), 1u);
  EXPECT_EQ(machine_.shutdown_requests[0].kind, sim::ShutdownRequest::Kind::kRestart);
  EXPECT_EQ(machine_.shutdown_requests[0].flags, 6u);
  EXPECT_EQ(machine_.shutdown_requests[0].reason, 0x80040001u);
}

TEST_F(SafeBootTest, QuestionsOfTheMinimalVariantsAndANoThatChangesNothing) {
  const std::u16string cmd_prompt =
      u"仅使用命令提示符重启到安全模式?\r\n\r\n"
      u"(一旦到了这里, 您可以使用 Windows 内部命令 (例如 'shutdown -r -t 0') 或 'kestrune "
      u"/reboot'重新启动 Windows, 使用 \"kestrune /normal\" 命令直接重新启动到 \"正常模式\", "
      u"或简单的输入适用于所有选项的 \"kestrune\".)";
  Start();
  machine_.message_box_answers = {kIDNO, kIDNO};
  EXPECT_FALSE(DoSafe(false, {.restart = true, .enable_f8 = true, .temp_admin = true}));
  EXPECT_FALSE(DoSafe(true, {.restart = true, .enable_f8 = true, .temp_admin = true}));
  ASSERT_EQ(machine_.message_boxes.size(), 2u);
  EXPECT_EQ(machine_.message_boxes[0].text, u"重启到安全模式?");
  EXPECT_EQ(machine_.message_boxes[1].text, cmd_prompt);
  EXPECT_TRUE(ctx_.RestartDeclined);
  EXPECT_TRUE(ProcsRun(kSteps).empty());
  EXPECT_TRUE(machine_.started_command_lines.empty());
  EXPECT_FALSE(SafeBoot(machine_));
}

TEST_F(SafeBootTest, NoRebootVariantLeavesNoHookAndAsksNothing) {
  Start();
  EXPECT_TRUE(DoSafeNetNoReboot(true, false));
  EXPECT_EQ(SafeBoot(machine_), u"Network");
  EXPECT_FALSE(RunOnceEntry(machine_));
  EXPECT_FALSE(Autorun(machine_));
  EXPECT_TRUE(machine_.message_boxes.empty());
  EXPECT_TRUE(machine_.shutdown_requests.empty());
  EXPECT_EQ(machine_.bcd().Get(u"{current}", u"bootmenupolicy"), u"Legacy");
}

// ---- undo and the single pieces --------------------------------------------------------------

TEST_F(SafeBootTest, RemoveModsKeepsMarkerAndShellUnlessFull) {
  Start();
  DoSafe(true, {});
  RemoveMods(false);
  EXPECT_FALSE(SafeBoot(machine_));
  EXPECT_FALSE(machine_.bcd().Get(u"{current}", u"safebootalternateshell"));
  EXPECT_FALSE(Autorun(machine_));
  EXPECT_TRUE(machine_.fs().Exists(kMarker));
  RemoveMods(true);
  EXPECT_FALSE(machine_.fs().Exists(kMarker));
  // The shell setting, the backup and the menu policy are never taken back.
  EXPECT_EQ(machine_.registry().GetString(kHKLM, kSafeBootKey, u"AlternateShell"), u"cmd.exe");
  EXPECT_TRUE(machine_.fs().Exists(u"C:\\BCDbak"));
  EXPECT_EQ(ProcsRun({u"DeleteTempAdminUser"}).size(), 1u);
}

TEST_F(SafeBootTest, OneTimeEntryDataForAProgramInTools) {
  Start();
  AddMeToRunOnce(u"/Remove", u"Quorlen Kestrune Mod");
  EXPECT_EQ(RunOnceEntry(machine_), kEntryData);
  // An existing entry is replaced.
  AddMeToRunOnce(u"/DeleteTempAdminUser", u"Quorlen Kestrune Mod");
  EXPECT_EQ(RunOnceEntry(machine_),
            u"cmd /c start \"\" \"C:\\Tools\\Kestrune.exe\" /DeleteTempAdminUser");
}

TEST_F(SafeBootTest, F8MenuOnAndOffForDefaultThenCurrent) {
  // {default} and {current} apart, as after installing a second system.
  machine_.bcd().AddEntry({u"{11111111-2222-3333-4444-555555555555}", u"Other", {}}, true);
  Start();
  EnableF8Menu();
  EXPECT_EQ(machine_.bcd().Get(u"{default}", u"bootmenupolicy"), u"Legacy");
  EXPECT_EQ(machine_.bcd().Get(u"{current}", u"bootmenupolicy"), u"Legacy");
  DisableF8Menu();
  EXPECT_EQ(BootToolRuns(), (V{u"bcdedit.exe /set {default} bootmenupolicy legacy",
                               u"bcdedit.exe /set {current} bootmenupolicy legacy",
                               u"bcdedit.exe /set {default} bootmenupolicy standard",
                               u"bcdedit.exe /set {current} bootmenupolicy standard"}));
  EXPECT_EQ(machine_.bcd().Get(u"{default}", u"bootmenupolicy"), u"Standard");
  EXPECT_EQ(machine_.bcd().Get(u"{current}", u"bootmenupolicy"), u"Standard");
}

TEST_F(SafeBootTest, OlderWindowsWithoutBootIniEditingAbandonsWithTheNotice) {
  ASSERT_TRUE(sim::ApplyVersionProfile(machine_, "xp-sp3"));
  Start();
  machine_.message_box_answers = {kIDYES};
  EXPECT_FALSE(DoSafe(false, {.restart = true, .enable_f8 = true, .temp_admin = true}));
  ASSERT_EQ(machine_.message_boxes.size(), 2u);
  EXPECT_EQ(machine_.message_boxes[1].text, u"无法对 Boot.INI 文件进行必要的更改, 正在中止.");
  EXPECT_EQ(machine_.message_boxes[1].style, 0u);
  EXPECT_TRUE(BootToolRuns().empty());
  EXPECT_FALSE(RunOnceEntry(machine_));
  EXPECT_TRUE(machine_.shutdown_requests.empty());
  EXPECT_TRUE(LogHas(u"BootIniSafeMod is not available in this build yet"));
}

// ---- the mended fault: a configuration that did not take is never restarted ----------------

TEST_F(SafeBootTest, FailingBootSettingIsUndoneToldAndNotRestarted) {
  for (const bool net : {true, false}) {
    SCOPED_TRACE(net ? "network" : "minimal");
    sim::Machine m;
    MakeThirtyTwoBit(m);
    Context ctx(m.platform());
    ContextScope scope(ctx);
    InitApp(false, u"");
    m.bcd().failing[u"set safeboot"] = 5;
    m.message_box_answers = {kIDYES};
    EXPECT_FALSE(net ? DoSafeNet({.restart = true, .enable_f8 = true})
                     : DoSafe(false, {.restart = true, .enable_f8 = true}));
    EXPECT_TRUE(m.shutdown_requests.empty());
    EXPECT_FALSE(m.bcd().Get(u"{current}", u"safeboot"));
    EXPECT_FALSE(RunOnceEntry(m));
    EXPECT_TRUE(ctx.RestartDeclined);
    ASSERT_EQ(m.message_boxes.size(), 2u);
    EXPECT_EQ(m.message_boxes[1].style, 16u);
    EXPECT_EQ(m.message_boxes[1].text,
              u"安全模式配置失败, 已撤消所做的更改, Windows 将不会重新启动.\r\n\r\n"
              u"bcdedit.exe /set safeboot " +
                  std::u16string(net ? u"network" : u"minimal"));
    EXPECT_NE(debug::DebugLogText().find(u"Safe Mode configuration failed"), std::u16string::npos);
  }
}

TEST_F(SafeBootTest, BootToolThatCannotStartCountsAsFailed) {
  Start();
  machine_.InjectFault("bcdedit.exe", 1);  // every run exits 1 and changes nothing
  machine_.message_box_answers = {kIDYES};
  EXPECT_FALSE(DoSafe(true, {.restart = true}));
  EXPECT_TRUE(machine_.shutdown_requests.empty());
  EXPECT_FALSE(Autorun(machine_));
  ASSERT_EQ(machine_.message_boxes.size(), 2u);
  EXPECT_TRUE(
      machine_.message_boxes[1].text.ends_with(u"\r\n\r\nbcdedit.exe /set safeboot minimal"));
}

TEST_F(SafeBootTest, FailingOneTimeEntryIsUndoneToldAndNotRestarted) {
  machine_.registry().DenyAccess(kHKLM, kRunOnceKey);
  Start();
  machine_.message_box_answers = {kIDYES};
  EXPECT_FALSE(DoSafeNet({.restart = true, .enable_f8 = true}));
  EXPECT_TRUE(machine_.shutdown_requests.empty());
  EXPECT_FALSE(SafeBoot(machine_));  // taken back by RemoveMods(False)
  ASSERT_EQ(machine_.message_boxes.size(), 2u);
  EXPECT_EQ(machine_.message_boxes[1].style, 16u);
  EXPECT_EQ(machine_.message_boxes[1].text,
            u"安全模式配置失败, 已撤消所做的更改, Windows 将不会重新启动.\r\n\r\n"
            u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\"
            u"*Quorlen Kestrune Mod");
  EXPECT_EQ(machine_.bcd().Get(u"{current}", u"bootmenupolicy"), std::nullopt);
}

TEST_F(SafeBootTest, FailingCommandProcessorHookIsUndoneToldAndNotRestarted) {
  machine_.registry().DenyAccess(kHKLM, kCommandProcessorKey);
  Start();
  machine_.message_box_answers = {kIDYES};
  EXPECT_FALSE(DoSafe(true, {.restart = true}));
  EXPECT_TRUE(machine_.shutdown_requests.empty());
  EXPECT_FALSE(SafeBoot(machine_));
  EXPECT_FALSE(machine_.bcd().Get(u"{current}", u"safebootalternateshell"));
  ASSERT_EQ(machine_.message_boxes.size(), 2u);
  EXPECT_TRUE(machine_.message_boxes[1].text.ends_with(
      u"\r\n\r\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Command Processor\\Autorun"));
}

TEST_F(SafeBootTest, NoRebootVariantOnlyLogsAFailingBootSetting) {
  Start();
  machine_.bcd().failing[u"set safeboot"] = 5;
  EXPECT_FALSE(DoSafeNetNoReboot(false, false));
  EXPECT_TRUE(machine_.message_boxes.empty());
  EXPECT_TRUE(LogHas(u"The boot configuration tool reported a failure."));
  EXPECT_TRUE(LogHas(u"bcdedit.exe /set safeboot network"));
}

// ---- the simulated boot configuration tool -------------------------------------------------

TEST_F(SafeBootTest, BootToolCommandsAndExitCodes) {
  Start();
  auto run = [&](std::u16string_view args) {
    return sim::RunBcdedit(machine_, u"bcdedit.exe " + std::u16string(args));
  };
  EXPECT_EQ(run(u"/deletevalue safeboot"), 1u);  // absent element
  EXPECT_NE(machine_.console_output.back().find(u"Element not found."), std::u16string::npos);
  EXPECT_EQ(run(u"/set safeboot network"), 0u);
  EXPECT_EQ(run(u"/set {default} safeboot minimal"), 0u);
  EXPECT_EQ(SafeBoot(machine_), u"Minimal");
  EXPECT_EQ(machine_.bcd().NextCleanBoot(), 1);
  EXPECT_EQ(run(u"/deletevalue {current} safeboot"), 0u);
  EXPECT_EQ(machine_.bcd().NextCleanBoot(), 0);
  EXPECT_EQ(run(u"/set safeboot fast"), 1u);    // no such value
  EXPECT_EQ(run(u"/set nosuchelement 1"), 1u);  // no such element
  EXPECT_EQ(run(u"/set {nosuchentry} safeboot minimal"), 1u);
  EXPECT_EQ(run(u"/enum {nosuchentry}"), 1u);
  EXPECT_EQ(run(u"/export C:\\NoFolder\\BCDbak"), 1u);  // folder missing
  EXPECT_EQ(run(u"/export C:\\BCDbak"), 0u);
  EXPECT_TRUE(machine_.fs().Exists(u"C:\\BCDbak"));
  machine_.token.elevated = false;
  EXPECT_EQ(run(u"/set safeboot minimal"), 1u);
  EXPECT_FALSE(SafeBoot(machine_));
}

// The program asks the store whether the Safe Mode element is still there the way an admin
// would at a prompt: the listing piped through find, whose exit code answers.
TEST_F(SafeBootTest, TheStoreListingPipedThroughFindTellsWhetherSafeModeIsSet) {
  Start();
  const std::u16string query = u"cmd.exe /c bcdedit.exe /enum {current} | find \"safeboot \"";
  auto ask = [&] {
    machine_.console_output.clear();
    return sim::RunCmd(machine_, query);
  };
  sim::RunBcdedit(machine_, u"bcdedit.exe /set safebootalternateshell true");
  EXPECT_EQ(ask(), 1u) << "the alternate shell element alone is not Safe Mode";
  sim::RunBcdedit(machine_, u"bcdedit.exe /set safeboot network");
  EXPECT_EQ(ask(), 0u);
  ASSERT_EQ(machine_.console_output.size(), 1u);
  EXPECT_TRUE(machine_.console_output[0].starts_with(u"safeboot "));
  EXPECT_TRUE(machine_.console_output[0].ends_with(u"Network"));
  sim::RunBcdedit(machine_, u"bcdedit.exe /deletevalue safeboot");
  EXPECT_EQ(ask(), 1u);
  EXPECT_TRUE(machine_.console_output.empty());
}

}  // namespace
}  // namespace kes::safeboot_tests
