// The failure roads of a configuration and of the return to normal: the machine is never left in
// Safe Mode without a way back (a power cut included), the user is never told something untrue,
// a passwordless administrator never outlives its configuration, and the program never runs a
// tool a non-administrator could have put next to it.
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "app/accounts.h"
#include "app/main_window.h"
#include "platform/sim/accounts.h"
#include "platform/sim/boot_cycle.h"
#include "platform/sim/tools.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using platform::kIDNO;
using platform::kIDYES;
using Behaviour = std::function<platform::DWORD(sim::Machine&, const std::u16string&)>;

constexpr char16_t kBcdedit[] = u"C:\\Windows\\System32\\bcdedit.exe";
constexpr char16_t kNet[] = u"C:\\Windows\\System32\\net.exe";
constexpr char16_t kNormalQuestion[] = u"正常模式\" 下重新启动";
constexpr char16_t kNormalNextTime[] = u"下次重新启动时 Windows 将正常启动.";

class FailurePaths : public MachineTest {
 protected:
  FailurePaths() { MakeThirtyTwoBit(m); }

  // The system's bcdedit.exe, except that command lines containing `refused` fail with 5 and
  // change nothing.
  void RefuseBootTool(std::u16string refused) {
    m.AddProgram(kBcdedit, [refused](sim::Machine& mm, const std::u16string& command_line) {
      if (command_line.find(refused) != std::u16string::npos) return platform::DWORD{5};
      return sim::RunBcdedit(mm, command_line);
    });
  }
  // The program itself as a program of the machine: whoever starts it starts a run of Main.
  // `nested` counts the runs started while another run was going on.
  void InstallProgram(int& nested) {
    m.AddProgram(m.CurrentProcess().image,
                 [this, &nested](sim::Machine& mm, const std::u16string& command_line) {
                   if (depth_ > 0) ++nested;
                   if (depth_ > 3) return platform::DWORD{1};  // endless: stop it here
                   ++depth_;
                   RunProgram(mm, command_line);
                   --depth_;
                   return platform::DWORD{0};
                 });
  }
  // The power goes at the first call for which `now` says so: the program ends there (a close
  // made while it unwinds cannot be stopped, a destructor may not throw).
  void CutPowerWhen(std::function<bool(std::string_view api)> now) {
    m.after_call = [now = std::move(now)](const char* api) {
      const std::string_view name(api);
      if (std::uncaught_exceptions() > 0 || name == "CloseHandle" || name == "RegCloseKey" ||
          name == "FindClose" || name == "NtClose" || name == "Wow64RevertWow64FsRedirection")
        return;
      if (now(name)) throw platform::ProcessExit{1};
    };
  }
  std::vector<std::u16string> Texts() const {
    std::vector<std::u16string> out;
    for (const auto& box : m.message_boxes) out.push_back(box.text);
    return out;
  }
  int depth_ = 0;  // runs of the program going on

  bool Shown(std::u16string_view part) const {
    for (const auto& box : m.message_boxes)
      if (box.text.find(part) != std::u16string::npos) return true;
    return false;
  }
};

// The command prompt variant's hook runs the program with /undo at every start of cmd.exe. When
// the Safe Mode setting is already gone (removed by hand) the return to normal asks the store
// through cmd: that cmd must not run the hook again, or each copy would start the next.
TEST_F(FailurePaths, TheUndoAsksTheStoreThroughACmdThatSkipsTheHook) {
  int nested = 0;
  InstallProgram(nested);
  m.message_box_answers = {kIDYES};
  Run(u"/safecmd");
  ASSERT_EQ(Autorun(m), kAutorunData);
  m.bcd().Find(u"{current}")->elements.erase(u"safeboot");

  Run(u"/undo");
  EXPECT_EQ(nested, 0);
  EXPECT_FALSE(Autorun(m));
  EXPECT_FALSE(RunOnceEntry(m));
  // Every cmd.exe the program starts for itself skips the hooks; the one-time entry's too.
  for (const std::u16string& c : m.started_command_lines) {
    if (c.find(u"cmd.exe") != std::u16string::npos) {
      EXPECT_NE(c.find(u" /d "), c.npos) << Utf8(c);
    }
  }
}

// A configuration that fails after the temporary administrator was made takes it back with the
// rest, and an account that cannot be made stops the configuration before any boot setting.
TEST_F(FailurePaths, TheTemporaryAdministratorGoesWithAFailedConfiguration) {
  Use("win10");
  ASSERT_TRUE(sim::ConnectMicrosoftAccount(m, u"Admin", u"someone@outlook.com"));
  RefuseBootTool(u"/set safeboot");
  m.message_box_answers = {kIDYES};
  bool told_in_log = false;
  RunProgram(m, ProgramCommandLine(m, u"/safe"), [&](const Context&) {
    told_in_log =
        LogHas(u"The temporary administrator made for this configuration is deleted again.");
  });
  EXPECT_TRUE(told_in_log);
  EXPECT_FALSE(sim::FindAccount(m, kTempAdminUser));
  EXPECT_FALSE(SafeBoot(m));
  EXPECT_TRUE(m.shutdown_requests.empty());
  ASSERT_EQ(m.message_boxes.size(), 2u);
  EXPECT_TRUE(m.message_boxes[1].text.starts_with(kConfigFailedNotice));

  // A password policy refuses the account: nothing else happens.
  m.AddProgram(kNet, [](sim::Machine& mm, const std::u16string& command_line) {
    if (command_line.find(u"/Add") != std::u16string::npos &&
        command_line.find(u"localgroup") == std::u16string::npos)
      return platform::DWORD{2};
    return sim::RunNet(mm, command_line);
  });
  RefuseBootTool(u"no such command");
  m.message_boxes.clear();
  m.message_box_answers = {kIDYES};
  Run(u"/safenet");
  EXPECT_FALSE(sim::FindAccount(m, kTempAdminUser));
  EXPECT_FALSE(SafeBoot(m));
  EXPECT_FALSE(RunOnceEntry(m));
  EXPECT_TRUE(m.shutdown_requests.empty());
  ASSERT_EQ(m.message_boxes.size(), 2u);
  EXPECT_EQ(m.message_boxes[1].text, std::u16string(kConfigFailedNotice) + u"\r\n\r\n" +
                                         u"net user Kestrune_TempAdmin /Add");
}

// When the Safe Mode setting cannot be removed, the user is told that the program retries on
// the next boot - and then nothing may claim that Windows will start normally.
TEST_F(FailurePaths, AReturnToNormalThatFailsIsNotAnnouncedAsDone) {
  m.message_box_answers = {kIDYES};
  Run(u"/safenet");
  RefuseBootTool(u"/deletevalue safeboot");
  m.message_boxes.clear();
  m.message_box_answers = {kIDYES, kIDYES};
  Run(u"/normal");
  EXPECT_EQ(Texts(), std::vector<std::u16string>{std::u16string(kUndoFailedNotice) +
                                                 u"\r\n\r\nbcdedit.exe /deletevalue safeboot"});
  EXPECT_EQ(RunOnceEntry(m), kEntryData);
  EXPECT_EQ(m.shutdown_requests.size(), 1u);  // only the configuration's own restart

  // The window's return to normal, configure only.
  m.message_boxes.clear();
  m.window_actions = {{sim::WindowAction::Kind::kClick, OptSafeModeId(kNormalModeOption)},
                      {sim::WindowAction::Kind::kClick, CmdDoId(1)}};
  Run(u"");
  EXPECT_FALSE(Shown(u"Windows 现在已配置为正常启动."));
  EXPECT_FALSE(Shown(kNormalQuestion));
  EXPECT_FALSE(Shown(kNormalNextTime));
  EXPECT_TRUE(Shown(kUndoFailedNotice));
}

// The order of the steps keeps a way back at every moment: the hook is in place before the
// boot setting, and the Safe Mode boot's run writes the one-time entry Windows consumed again
// before it changes anything.
TEST_F(FailurePaths, APowerCutNeverLeavesSafeModeWithoutAWayBack) {
  bool set = false;
  m.AddProgram(kBcdedit, [&set](sim::Machine& mm, const std::u16string& command_line) {
    const platform::DWORD code = sim::RunBcdedit(mm, command_line);
    set = set || command_line.find(u"/set safeboot") != std::u16string::npos;
    return code;
  });
  CutPowerWhen([&set](std::string_view) { return set; });  // right after the boot setting
  m.message_box_answers = {kIDYES};
  Run(u"/safenet");
  m.after_call = nullptr;
  ASSERT_EQ(SafeBoot(m), u"Network");
  EXPECT_EQ(RunOnceEntry(m), kEntryData);

  // The Safe Mode boot: Windows deletes the entry and runs it; the power goes as the run starts
  // its first tool.
  m.message_box_answers = {kIDYES};
  m.run_kestrune = [this](sim::Machine& mm, const std::u16string& command_line) {
    CutPowerWhen([](std::string_view api) { return api == "CreateProcessW"; });
    RunProgram(mm, command_line);
    mm.after_call = nullptr;
  };
  const sim::BootReport boot = sim::Restart(m);
  EXPECT_EQ(boot.clean_boot, 2);
  ASSERT_EQ(boot.kestrune_runs.size(), 1u);
  EXPECT_EQ(SafeBoot(m), u"Network");
  EXPECT_EQ(RunOnceEntry(m), kEntryData);
}

// The SafeBoot branch is repaired before anything else of a configuration changes.
TEST_F(FailurePaths, EveryConfigurationRepairsTheSafeBootBranchFirst) {
  for (const char16_t* sw : {u"/safe", u"/safecmd", u"/safenet", u"/safenet-noreboot"}) {
    m.started_command_lines.clear();
    m.message_box_answers = {kIDYES};
    Run(sw);
    ASSERT_FALSE(m.started_command_lines.empty()) << Utf8(sw);
    EXPECT_NE(m.started_command_lines.front().find(u"reg.exe import"), std::u16string::npos)
        << Utf8(sw) << ": " << Utf8(m.started_command_lines.front());
  }
}

// Tools put next to the program (its folder is also the current folder) are never run: every
// tool comes from the system folder, cmd's find.exe included.
TEST_F(FailurePaths, ToolsPlantedNextToTheProgramAreNotRun) {
  std::vector<std::u16string> planted_runs;
  for (const char16_t* tool :
       {u"bcdedit.exe", u"find.exe", u"cmd.exe", u"shutdown.exe", u"net.exe", u"reg.exe"}) {
    const std::u16string path = u"C:\\Tools\\" + std::u16string(tool);
    m.fs().AddFile(path, std::string_view("MZ"));
    m.AddProgram(path, [&planted_runs, path](sim::Machine&, const std::u16string&) {
      planted_runs.push_back(path);
      return platform::DWORD{0};
    });
  }
  m.message_box_answers = {kIDYES};
  Run(u"/safenet-noreboot");
  ASSERT_EQ(SafeBoot(m), u"Network");
  RefuseBootTool(u"/deletevalue safeboot");  // the store is then asked through cmd and find
  m.InjectFault("ExitWindowsEx", platform::kERROR_ACCESS_DENIED);
  Run(u"/normal");
  Run(u"/reboot");
  EXPECT_TRUE(planted_runs.empty()) << Utf8(planted_runs.front());
  EXPECT_TRUE(Shown(kUndoFailedNotice));  // the store's answer came from the real find
}

}  // namespace
}  // namespace kes
