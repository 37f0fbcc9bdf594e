// The main window on the simulated machine: what it shows at load on each kind of start, and
// what each button leaves behind - configured, declined, failed - driven by scripted clicks the
// way a user would use it.
#include "app/main_window.h"
#include "app/dispatch.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using platform::kIDNO;
using platform::kIDYES;
using sim::WindowAction;

const std::u16string kNoChanges = u"未对系统进行安全模式修改.";
const std::u16string kF8Note = u"\r\n\r\n在启动时已启用 F8 键.";
const std::u16string kDoNotDelete = u"请不要从当前位置删除 Kestrune.exe !";

class MainWindowTest : public MachineTest {
 protected:
  void Click(int id) { m.window_actions.push_back({WindowAction::Kind::kClick, id}); }
  void Menu(int id) { m.window_actions.push_back({WindowAction::Kind::kMenu, id}); }
  void Answer(std::initializer_list<int> answers) {
    m.message_box_answers.insert(m.message_box_answers.end(), answers);
  }
  // Starts the program without arguments: the window opens and the scripted actions play.
  void OpenWindow() { Run(u""); }

  const sim::FormSnapshot& FirstShown() {
    EXPECT_FALSE(m.shown_forms.empty());
    return m.shown_forms.front();
  }
  static int Selected(const sim::FormSnapshot& s) {
    int selected = -1;
    for (int i = 0; i <= 3; ++i)
      if (s.controls.at(OptSafeModeId(i)).checked) selected = i;
    return selected;
  }
  static int Bold(const sim::FormSnapshot& s) {
    int bold = -1;
    for (int i = 0; i <= 3; ++i)
      if (s.controls.at(OptSafeModeId(i)).bold) bold = bold == -1 ? i : 99;
    return bold;
  }
  std::vector<std::u16string> Texts() const {
    std::vector<std::u16string> out;
    for (const auto& box : m.message_boxes) out.push_back(box.text);
    return out;
  }
  // `command` ("bcdedit.exe ...") ran, from the system folder.
  bool BootToolRan(std::u16string_view command) const {
    for (const auto& c : m.started_command_lines)
      if (c == u"C:\\Windows\\System32\\" + std::u16string(command)) return true;
    return false;
  }
};

TEST_F(MainWindowTest, OnWindows10TheWindowOffersEverythingWithSafeModePreselected) {
  Use("win10");
  OpenWindow();
  ASSERT_EQ(m.shown_forms.size(), 1u);
  const sim::FormSnapshot& s = FirstShown();
  EXPECT_EQ(s.caption.substr(0, 8), u"Kestrune");
  EXPECT_NE(s.caption, u"Kestrune") << "the title carries the version";
  EXPECT_EQ(Selected(s), 0);
  EXPECT_EQ(Bold(s), 0) << "the selected mode, and only it, is bold";
  EXPECT_TRUE(s.controls.at(kChkEnableF8Menu).visible);
  EXPECT_EQ(s.menus, std::vector<int>{kMenuOptions});
  EXPECT_NE(s.big_icon, 0u);
  EXPECT_NE(s.small_icon, 0u);
  EXPECT_NE(s.big_icon, s.small_icon);
  EXPECT_TRUE(m.message_boxes.empty());
  // Closed untouched: nothing changes.
  EXPECT_FALSE(SafeBoot(m));
  EXPECT_TRUE(m.shutdown_requests.empty());
}

TEST_F(MainWindowTest, OnWindows7TheF8SwitchesAreHiddenAndTheWindowIsOneMenuBarShorter) {
  Use("win10");
  OpenWindow();
  const int win10_height = FirstShown().height_twips;

  sim::Machine other;
  ASSERT_TRUE(sim::ApplyVersionProfile(other, "win7"));
  kes::RunProgram(other, ProgramCommandLine(other, u""));
  ASSERT_EQ(other.shown_forms.size(), 1u);
  const sim::FormSnapshot& s = other.shown_forms.front();
  EXPECT_FALSE(s.controls.at(kChkEnableF8Menu).visible);
  EXPECT_TRUE(s.menus.empty());
  // 20 pixels of menu bar at 96 dpi, 15 twips each.
  EXPECT_EQ(s.height_twips, win10_height - 300);
}

TEST_F(MainWindowTest, StartedInSafeModeTheReturnToNormalIsPreselected) {
  Use("win10", sim::BootMode::kSafeNetwork);
  OpenWindow();
  EXPECT_EQ(Selected(FirstShown()), 3);
  EXPECT_EQ(Bold(FirstShown()), 3);
}

TEST_F(MainWindowTest, StartedFromANetworkShareOnlyTheReturnToNormalIsPossible) {
  Use("win10");
  m.CurrentProcess().image = u"\\\\server\\share\\Kestrune.exe";
  // The user tries Safe Mode anyway: the option does not react; the button then returns to normal.
  Click(OptSafeModeId(0));
  Click(CmdDoId(1));
  OpenWindow();
  ASSERT_FALSE(m.message_boxes.empty());
  EXPECT_TRUE(m.message_boxes.front().text.starts_with(u"Kestrune 可能正在从网络上运行"));
  const sim::FormSnapshot& s = FirstShown();
  EXPECT_EQ(Selected(s), 3);
  for (int i = 0; i <= 2; ++i) EXPECT_FALSE(s.controls.at(OptSafeModeId(i)).enabled) << i;
  for (int n = 3; n <= 5; ++n) EXPECT_FALSE(s.controls.at(LabelId(n)).enabled) << n;
  EXPECT_TRUE(s.controls.at(OptSafeModeId(3)).enabled);
  EXPECT_EQ(Texts().back(), u"Windows 现在已配置为正常启动.");
  EXPECT_FALSE(SafeBoot(m));
  EXPECT_FALSE(BootModeValue(m));
}

TEST_F(MainWindowTest, ADeclinedRestartChangesNothingAndBringsTheWindowBackAsItWas) {
  Use("win10");
  Click(OptSafeModeId(2));
  Click(CmdDoId(0));
  Answer({kIDNO});
  OpenWindow();
  ASSERT_EQ(m.shown_forms.size(), 2u);
  EXPECT_EQ(Selected(m.shown_forms[1]), 2);
  EXPECT_EQ(Bold(m.shown_forms[1]), 2);
  EXPECT_EQ(Texts().back(), kNoChanges);
  EXPECT_FALSE(BootModeValue(m));
  EXPECT_FALSE(SafeBoot(m));
  EXPECT_FALSE(RunOnceEntry(m));
  EXPECT_TRUE(m.shutdown_requests.empty());
}

TEST_F(MainWindowTest, ConfigureOnlyWithNetworkingRecordsTheModeAndClosesTheWindow) {
  Use("win10");
  Click(OptSafeModeId(1));
  Click(CmdDoId(1));
  OpenWindow();
  EXPECT_EQ(m.shown_forms.size(), 1u);
  EXPECT_EQ(BootModeValue(m), 2u);
  EXPECT_EQ(SafeBoot(m), u"Network");
  EXPECT_TRUE(RunOnceEntry(m));
  EXPECT_TRUE(m.shutdown_requests.empty());
  ASSERT_EQ(m.message_boxes.size(), 1u);
  EXPECT_NE(Texts().back().find(kDoNotDelete), std::u16string::npos);
  EXPECT_TRUE(m.open_forms.empty());
}

TEST_F(MainWindowTest, RestartAcceptedRecordsTheModeAndAsksWindowsToRestart) {
  Use("win10");
  Click(CmdDoId(0));
  Answer({kIDYES});
  OpenWindow();
  EXPECT_EQ(BootModeValue(m), 1u);
  EXPECT_EQ(SafeBoot(m), u"Minimal");
  ASSERT_EQ(m.shutdown_requests.size(), 1u);
  EXPECT_EQ(m.shown_forms.size(), 1u);
}

TEST_F(MainWindowTest, NormalWithF8AndConfigureOnlyRemovesEverythingAndTellsOnceWithTheF8Note) {
  Use("win10");
  Run(u"/safenet-noreboot");
  ASSERT_EQ(SafeBoot(m), u"Network");
  m.message_boxes.clear();
  m.started_command_lines.clear();

  Click(OptSafeModeId(3));
  Click(kChkEnableF8Menu);
  Click(CmdDoId(1));
  OpenWindow();
  EXPECT_FALSE(SafeBoot(m));
  EXPECT_TRUE(BootToolRan(u"bcdedit.exe /set {current} bootmenupolicy legacy"));
  ASSERT_EQ(m.message_boxes.size(), 1u);
  EXPECT_EQ(Texts().back(), u"Windows 现在已配置为正常启动." + kF8Note);
  EXPECT_TRUE(m.shutdown_requests.empty());
}

TEST_F(MainWindowTest, NormalWithRestartDeclinedSaysWhenWindowsWillStartNormally) {
  Use("win10");
  Click(OptSafeModeId(3));
  Click(CmdDoId(0));
  Answer({kIDNO});
  OpenWindow();
  ASSERT_EQ(m.message_boxes.size(), 2u);
  EXPECT_EQ(m.message_boxes[0].caption, kNormalRestartTitle);
  EXPECT_EQ(m.message_boxes[0].style, 36u);
  EXPECT_EQ(Texts().back(), kNormalNextTime);
  EXPECT_TRUE(m.shutdown_requests.empty());
  EXPECT_EQ(m.shown_forms.size(), 1u);
}

TEST_F(MainWindowTest, AFailedConfigurationIsUndoneToldAndTheWindowComesBack) {
  Use("win10");
  // bcdedit refuses the boot setting (its process cannot even start).
  m.InjectFault("CreateProcessW", 5, 0);
  Click(OptSafeModeId(1));
  Click(CmdDoId(0));
  Answer({kIDYES});
  OpenWindow();
  EXPECT_FALSE(SafeBoot(m));
  EXPECT_FALSE(BootModeValue(m));
  EXPECT_FALSE(RunOnceEntry(m));
  EXPECT_TRUE(m.shutdown_requests.empty());
  const auto texts = Texts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_TRUE(texts[texts.size() - 2].starts_with(kConfigFailedNotice));
  EXPECT_EQ(texts.back(), kNoChanges);
  ASSERT_EQ(m.shown_forms.size(), 2u);
  EXPECT_EQ(Selected(m.shown_forms[1]), 1);
}

TEST_F(MainWindowTest, TheMenuSwitchesTheF8MenuOffOnlyWhenConfirmed) {
  Use("win10");
  Menu(kMenuDisableF8);
  Answer({kIDNO});
  OpenWindow();
  EXPECT_FALSE(BootToolRan(u"bcdedit.exe /set {default} bootmenupolicy standard"));
  ASSERT_EQ(m.message_boxes.size(), 1u);
  EXPECT_EQ(m.message_boxes[0].style, 36u);
  EXPECT_TRUE(m.message_boxes[0].text.ends_with(u"\r\n\r\n启动时禁用 F8 键?"));

  m.message_boxes.clear();
  Menu(kMenuDisableF8);
  Answer({kIDYES});
  OpenWindow();
  EXPECT_TRUE(BootToolRan(u"bcdedit.exe /set {default} bootmenupolicy standard"));
  EXPECT_TRUE(BootToolRan(u"bcdedit.exe /set {current} bootmenupolicy standard"));
  EXPECT_EQ(Texts().back(), u"F8 键已被禁用.");
}

TEST_F(MainWindowTest, AWindowThatCannotBeCreatedIsLoggedAndChangesNothing) {
  Use("win10");
  Start();
  m.InjectFault("CreateWindowExW", 1400, 0);
  Click(CmdDoId(1));
  ShowMainWindow();
  OS().forms.RunForms();
  EXPECT_TRUE(m.shown_forms.empty());
  EXPECT_TRUE(m.message_boxes.empty());
  EXPECT_FALSE(SafeBoot(m));
  EXPECT_TRUE(LogHas(u"CreateWindowExW"));
}

}  // namespace
}  // namespace kes
