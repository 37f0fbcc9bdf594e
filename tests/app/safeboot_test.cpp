// Safe-boot switching on the simulated machine: the order of the steps of each variant, the
// exact tool command lines and registry data, the undo, and a configuration whose boot setting
// or undo hook fails (undone, told, never restarted).
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using platform::kIDNO;
using platform::kIDYES;
using V = std::vector<std::u16string>;

const V kSteps = {u"RemoveMods",     u"CreateTempAdminUser", u"BackupBCD",     u"SetCMDAutorun",
                  u"AddMeToRunOnce", u"EnableF8Menu",        u"RestartWindows"};

class SafeBootTest : public MachineTest {
 protected:
  SafeBootTest() { MakeThirtyTwoBit(m); }
  // The command lines of bcdedit.exe runs, in order, as "bcdedit.exe ..." (each ran from the
  // system folder).
  V BootToolRuns() const {
    constexpr std::u16string_view kFolder = u"C:\\Windows\\System32\\";
    V out;
    for (const auto& c : m.started_command_lines)
      if (c.starts_with(std::u16string(kFolder) + u"bcdedit.exe"))
        out.push_back(c.substr(kFolder.size()));
    return out;
  }
  V StepsRun() const { return ProcsRun(ctx, kSteps); }
};

// ---- the order of the steps ---------------------------------------------------------------

TEST_F(SafeBootTest, MinimalOnWindows10WithoutRestartRunsTheStepsInOrder) {
  // Left-overs of an earlier configuration, which RemoveMods(False) must clear first.
  SetBootModeValue(m, 2);
  m.registry().SetString(kHKLM, kCommandProcessorKey, u"Autorun", u"old");
  m.bcd().Find(u"{current}")->elements[u"safebootalternateshell"] = u"Yes";
  Start();

  EXPECT_TRUE(DoSafe(false, {}));

  EXPECT_EQ(StepsRun(), (V{u"RemoveMods", u"BackupBCD", u"AddMeToRunOnce"}));
  EXPECT_EQ(
      BootToolRuns(),
      (V{u"bcdedit.exe /deletevalue safeboot", u"bcdedit.exe /deletevalue safebootalternateshell",
         u"bcdedit.exe /export C:\\BCDbak", u"bcdedit.exe /set safeboot minimal"}));
  EXPECT_FALSE(BootModeValue(m));
  EXPECT_FALSE(Autorun(m));
  EXPECT_EQ(RunOnceEntry(m), kEntryData);
  EXPECT_EQ(SafeBoot(m), u"Minimal");
  EXPECT_FALSE(m.bcd().Get(u"{current}", u"safebootalternateshell"));
  EXPECT_TRUE(m.fs().Exists(u"C:\\BCDbak"));
  EXPECT_TRUE(m.message_boxes.empty());
  EXPECT_TRUE(m.shutdown_requests.empty());
  EXPECT_FALSE(ctx.RestartDeclined);
}

TEST_F(SafeBootTest, SecondConfigurationKeepsTheFirstBackup) {
  Start();
  DoSafe(false, {});
  const auto first = m.fs().ReadFile(u"C:\\BCDbak");
  m.started_command_lines.clear();
  DoSafeNet({});
  EXPECT_EQ(BootToolRuns(), (V{u"bcdedit.exe /deletevalue safeboot",
                               u"bcdedit.exe /deletevalue safebootalternateshell",
                               u"bcdedit.exe /set safeboot network"}));
  // The backup still holds the store as it was before any Safe Mode setting.
  EXPECT_EQ(m.fs().ReadFile(u"C:\\BCDbak"), first);
  EXPECT_EQ(SafeBoot(m), u"Network");
}

class SafeBootPolishTest : public SafeBootTest {
 protected:
  // The program started from `exe`, configured for the command prompt: the marker script's bytes.
  std::string MarkerFor(std::u16string exe, platform::UINT ansi, platform::UINT oem) {
    m.ansi_code_page = ansi;
    m.oem_code_page = oem;
    m.fs().AddFile(exe, std::string_view("MZ"));
    m.CurrentProcess().image = exe;
    Start();
    DoSafe(true, {});
    return m.fs().ReadText(kMarker).value_or("<missing>");
  }
};

// cmd.exe reads a batch file in the OEM code page: an accented path written in the ANSI one
// would name another file at the Safe Mode prompt.
TEST_F(SafeBootPolishTest, TheMarkerScriptIsWrittenInTheConsoleCodePage) {
  EXPECT_EQ(MarkerFor(u"C:\\Tools\\Café\\Kestrune.exe", 1252, 850),
            "\"C:\\Tools\\Caf\x82\\Kestrune.exe\" %1\r\n");
}

// A path the OEM code page cannot hold at all is written in its short form.
TEST_F(SafeBootPolishTest, APathTheConsoleCannotHoldIsWrittenInItsShortForm) {
  const std::string marker = MarkerFor(u"C:\\Tools\\Señor\\Kestrune.exe", 936, 936);
  std::u16string short_path(260, u'\0');
  short_path.resize(
      m.platform().fs.GetShortPathNameW(u"C:\\Tools\\Señor\\Kestrune.exe", short_path.data(), 260));
  ASSERT_FALSE(short_path.empty());
  EXPECT_EQ(marker, "\"" + Utf8(short_path) + "\" %1\r\n");
  EXPECT_EQ(marker.find('?'), std::string::npos);
}

TEST_F(SafeBootTest, CommandPromptVariantWritesShellHookAndMarkerInsteadOfTheEntry) {
  Start();
  EXPECT_TRUE(DoSafe(true, {}));
  EXPECT_EQ(StepsRun(), (V{u"RemoveMods", u"BackupBCD", u"SetCMDAutorun"}));
  // The command prompt as shell goes first: alone it changes nothing about the next boot.
  const V runs = BootToolRuns();
  ASSERT_GE(runs.size(), 2u);
  EXPECT_EQ(runs[runs.size() - 2], u"bcdedit.exe /set safebootalternateshell true");
  EXPECT_EQ(runs.back(), u"bcdedit.exe /set safeboot minimal");
  EXPECT_FALSE(RunOnceEntry(m));
  EXPECT_EQ(Autorun(m), kAutorunData);
  EXPECT_EQ(m.registry().GetString(kHKLM, kSafeBootKey, u"AlternateShell"), u"cmd.exe");
  EXPECT_EQ(m.fs().ReadText(kMarker), "\"C:\\Tools\\Kestrune.exe\" %1\r\n");
  EXPECT_EQ(SafeBoot(m), u"Minimal");
  EXPECT_EQ(m.bcd().Get(u"{current}", u"safebootalternateshell"), u"Yes");
  EXPECT_TRUE(m.bcd().NextBootAlternateShell());
}

TEST_F(SafeBootTest, NetworkWithRestartAsksThenSetsTheMenuAndRestarts) {
  Start();
  m.message_box_answers = {kIDYES};
  EXPECT_TRUE(DoSafeNet({.restart = true, .enable_f8 = true}));
  ASSERT_EQ(m.message_boxes.size(), 1u);
  EXPECT_EQ(m.message_boxes[0].text, u"重启到带网络的安全模式?");
  EXPECT_EQ(m.message_boxes[0].style, 36u);
  EXPECT_EQ(m.message_boxes[0].caption, u"Kestrune");
  EXPECT_EQ(StepsRun(), (V{u"RemoveMods", u"BackupBCD", u"AddMeToRunOnce", u"EnableF8Menu",
                           u"RestartWindows"}));
  const V runs = BootToolRuns();
  EXPECT_EQ(V(runs.end() - 2, runs.end()),
            (V{u"bcdedit.exe /set {default} bootmenupolicy legacy",
               u"bcdedit.exe /set {current} bootmenupolicy legacy"}));
  EXPECT_EQ(m.bcd().Get(u"{default}", u"bootmenupolicy"), u"Legacy");
  ASSERT_EQ(m.shutdown_requests.size(), 1u);
  EXPECT_EQ(m.shutdown_requests[0].kind, sim::ShutdownRequest::Kind::kRestart);
  EXPECT_EQ(m.shutdown_requests[0].flags, 6u);
  EXPECT_EQ(m.shutdown_requests[0].reason, 0x80040001u);
}

TEST_F(SafeBootTest, QuestionsOfTheMinimalVariantsAndANoThatChangesNothing) {
  const std::u16string cmd_prompt =
      u"仅使用命令提示符重启到安全模式?\r\n\r\n"
      u"(一旦到了这里, 您可以使用 Windows 内部命令 (例如 'shutdown -r -t 0') 或 'kestrune "
      u"/reboot'重新启动 Windows, 使用 \"kestrune /normal\" 命令直接重新启动到 \"正常模式\", "
      u"或简单的输入适用于所有选项的 \"kestrune\".)";
  Start();
  m.message_box_answers = {kIDNO, kIDNO};
  EXPECT_FALSE(DoSafe(false, {.restart = true, .enable_f8 = true, .temp_admin = true}));
  EXPECT_FALSE(DoSafe(true, {.restart = true, .enable_f8 = true, .temp_admin = true}));
  ASSERT_EQ(m.message_boxes.size(), 2u);
  EXPECT_EQ(m.message_boxes[0].text, u"重启到安全模式?");
  EXPECT_EQ(m.message_boxes[1].text, cmd_prompt);
  EXPECT_TRUE(ctx.RestartDeclined);
  EXPECT_TRUE(StepsRun().empty());
  EXPECT_TRUE(m.started_command_lines.empty());
  EXPECT_FALSE(SafeBoot(m));
}

TEST_F(SafeBootTest, NoRebootVariantLeavesNoHookAndAsksNothing) {
  Start();
  EXPECT_TRUE(DoSafeNetNoReboot(true, false));
  EXPECT_EQ(SafeBoot(m), u"Network");
  EXPECT_FALSE(RunOnceEntry(m));
  EXPECT_FALSE(Autorun(m));
  EXPECT_TRUE(m.message_boxes.empty());
  EXPECT_TRUE(m.shutdown_requests.empty());
  EXPECT_EQ(m.bcd().Get(u"{current}", u"bootmenupolicy"), u"Legacy");
}

// ---- undo and the single pieces --------------------------------------------------------------

TEST_F(SafeBootTest, RemoveModsKeepsMarkerAndShellUnlessFull) {
  Start();
  DoSafe(true, {});
  RemoveMods(false);
  EXPECT_FALSE(SafeBoot(m));
  EXPECT_FALSE(m.bcd().Get(u"{current}", u"safebootalternateshell"));
  EXPECT_FALSE(Autorun(m));
  EXPECT_TRUE(m.fs().Exists(kMarker));
  RemoveMods(true);
  EXPECT_FALSE(m.fs().Exists(kMarker));
  // The shell setting, the backup and the menu policy are never taken back.
  EXPECT_EQ(m.registry().GetString(kHKLM, kSafeBootKey, u"AlternateShell"), u"cmd.exe");
  EXPECT_TRUE(m.fs().Exists(u"C:\\BCDbak"));
  EXPECT_EQ(Calls(u"DeleteTempAdminUser").size(), 1u);
}

TEST_F(SafeBootTest, OneTimeEntryDataForAProgramInTools) {
  Start();
  AddMeToRunOnce(u"/Remove", u"Quorlen Kestrune Mod");
  EXPECT_EQ(RunOnceEntry(m), kEntryData);
  // An existing entry is replaced.
  AddMeToRunOnce(u"/DeleteTempAdminUser", u"Quorlen Kestrune Mod");
  EXPECT_EQ(RunOnceEntry(m),
            u"cmd /d /c start \"\" \"C:\\Tools\\Kestrune.exe\" /DeleteTempAdminUser");
}

TEST_F(SafeBootTest, F8MenuOnAndOffForDefaultThenCurrent) {
  // {default} and {current} apart, as after installing a second system.
  m.bcd().AddEntry({u"{11111111-2222-3333-4444-555555555555}", u"Other", {}}, true);
  Start();
  EnableF8Menu();
  EXPECT_EQ(m.bcd().Get(u"{default}", u"bootmenupolicy"), u"Legacy");
  EXPECT_EQ(m.bcd().Get(u"{current}", u"bootmenupolicy"), u"Legacy");
  DisableF8Menu();
  EXPECT_EQ(BootToolRuns(), (V{u"bcdedit.exe /set {default} bootmenupolicy legacy",
                               u"bcdedit.exe /set {current} bootmenupolicy legacy",
                               u"bcdedit.exe /set {default} bootmenupolicy standard",
                               u"bcdedit.exe /set {current} bootmenupolicy standard"}));
  EXPECT_EQ(m.bcd().Get(u"{default}", u"bootmenupolicy"), u"Standard");
  EXPECT_EQ(m.bcd().Get(u"{current}", u"bootmenupolicy"), u"Standard");
}

TEST_F(SafeBootTest, OlderWindowsWithoutBootIniEditingAbandonsWithTheNotice) {
  ASSERT_TRUE(sim::ApplyVersionProfile(m, "xp-sp3"));
  Start();
  m.message_box_answers = {kIDYES};
  EXPECT_FALSE(DoSafe(false, {.restart = true, .enable_f8 = true, .temp_admin = true}));
  ASSERT_EQ(m.message_boxes.size(), 2u);
  EXPECT_EQ(m.message_boxes[1].text, u"无法对 Boot.INI 文件进行必要的更改, 正在中止.");
  EXPECT_EQ(m.message_boxes[1].style, 0u);
  EXPECT_TRUE(BootToolRuns().empty());
  EXPECT_FALSE(RunOnceEntry(m));
  EXPECT_TRUE(m.shutdown_requests.empty());
  EXPECT_TRUE(LogHas(u"BootIniSafeMod is not available in this build yet"));
}

// ---- the mended fault: a configuration that did not take is never restarted ----------------

class FailingBootSettingTest : public SafeBootTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FailingBootSettingTest, IsUndoneToldAndNotRestarted) {
  const bool net = GetParam();
  Start();
  m.bcd().failing[u"set safeboot"] = 5;
  m.message_box_answers = {kIDYES};
  EXPECT_FALSE(net ? DoSafeNet({.restart = true, .enable_f8 = true})
                   : DoSafe(false, {.restart = true, .enable_f8 = true}));
  EXPECT_TRUE(m.shutdown_requests.empty());
  EXPECT_FALSE(SafeBoot(m));
  EXPECT_FALSE(RunOnceEntry(m));
  EXPECT_FALSE(ctx.RestartDeclined);  // only the user's No declines
  ASSERT_EQ(m.message_boxes.size(), 2u);
  EXPECT_EQ(m.message_boxes[1].style, 16u);
  EXPECT_EQ(m.message_boxes[1].text,
            u"安全模式配置失败, 已撤消所做的更改, Windows 将不会重新启动.\r\n\r\n"
            u"bcdedit.exe /set safeboot " +
                std::u16string(net ? u"network" : u"minimal"));
  EXPECT_TRUE(LogHas(u"Safe Mode configuration failed"));
}

INSTANTIATE_TEST_SUITE_P(NetworkOrMinimal, FailingBootSettingTest, ::testing::Bool());

TEST_F(SafeBootTest, BootToolThatCannotStartCountsAsFailed) {
  Start();
  m.InjectFault("bcdedit.exe", 1);  // every run exits 1 and changes nothing
  m.message_box_answers = {kIDYES};
  EXPECT_FALSE(DoSafe(true, {.restart = true}));
  EXPECT_TRUE(m.shutdown_requests.empty());
  EXPECT_FALSE(Autorun(m));
  ASSERT_EQ(m.message_boxes.size(), 2u);
  EXPECT_TRUE(
      m.message_boxes[1].text.ends_with(u"\r\n\r\nbcdedit.exe /set safebootalternateshell true"));
}

TEST_F(SafeBootTest, FailingOneTimeEntryIsUndoneToldAndNotRestarted) {
  m.registry().DenyAccess(kHKLM, kRunOnceKey);
  Start();
  m.message_box_answers = {kIDYES};
  EXPECT_FALSE(DoSafeNet({.restart = true, .enable_f8 = true}));
  EXPECT_TRUE(m.shutdown_requests.empty());
  EXPECT_FALSE(SafeBoot(m));  // taken back by RemoveMods(False)
  ASSERT_EQ(m.message_boxes.size(), 2u);
  EXPECT_EQ(m.message_boxes[1].style, 16u);
  EXPECT_EQ(m.message_boxes[1].text,
            u"安全模式配置失败, 已撤消所做的更改, Windows 将不会重新启动.\r\n\r\n"
            u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\"
            u"*Quorlen Kestrune Mod");
  EXPECT_EQ(m.bcd().Get(u"{current}", u"bootmenupolicy"), std::nullopt);
}

TEST_F(SafeBootTest, FailingCommandProcessorHookIsUndoneToldAndNotRestarted) {
  m.registry().DenyAccess(kHKLM, kCommandProcessorKey);
  Start();
  m.message_box_answers = {kIDYES};
  EXPECT_FALSE(DoSafe(true, {.restart = true}));
  EXPECT_TRUE(m.shutdown_requests.empty());
  EXPECT_FALSE(SafeBoot(m));
  EXPECT_FALSE(m.bcd().Get(u"{current}", u"safebootalternateshell"));
  ASSERT_EQ(m.message_boxes.size(), 2u);
  EXPECT_TRUE(m.message_boxes[1].text.ends_with(
      u"\r\n\r\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Command Processor\\Autorun"));
}

TEST_F(SafeBootTest, NoRebootVariantOnlyLogsAFailingBootSetting) {
  Start();
  m.bcd().failing[u"set safeboot"] = 5;
  EXPECT_FALSE(DoSafeNetNoReboot(false, false));
  EXPECT_TRUE(m.message_boxes.empty());
  EXPECT_TRUE(LogHas(u"The boot configuration tool reported a failure."));
  EXPECT_TRUE(LogHas(u"bcdedit.exe /set safeboot network"));
}

}  // namespace
}  // namespace kes
