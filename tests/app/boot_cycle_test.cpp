// The program's main road over simulated restarts: a switch configures Safe Mode and restarts,
// the Safe Mode boot starts the program again through its undo hook, the next-boot question is
// answered, and the boot after that is normal with nothing left behind - or Safe Mode again
// when the user keeps it. Each start of the program runs in a fresh context, as a new process.
#include <string>
#include <vector>

#include "app/main.h"
#include "platform/sim/boot_cycle.h"
#include "tests/app/safeboot_fixture.h"

namespace kes::safeboot_tests {
namespace {

using platform::kIDCANCEL;
using platform::kIDNO;
using platform::kIDYES;

const std::u16string kNextBootPrompt =
    u"您是否要将下一次的 Windows 重启配置为 \"正常模式\"?\r\n\r\n"
    u"选择 \"否\" 继续 \"安全模式\" 配置, 或点击\"取消\"取消所有选项选择.";

// One start of the program as the machine made it: its command line and the procedures it ran.
struct ProgramRun {
  std::u16string command_line;
  std::vector<std::u16string> procs;
  bool Ran(std::u16string_view name) const {
    for (const auto& p : procs)
      if (p == name) return true;
    return false;
  }
};

class BootCycleTest : public ::testing::Test {
 protected:
  BootCycleTest() {
    MakeThirtyTwoBit(machine_);
    machine_.run_kestrune = [this](sim::Machine& m, const std::u16string& command_line) {
      runs_.push_back(RunProgram(m, command_line));
    };
  }

  // Starts the program as a new process with this command line, as the real entry would.
  static ProgramRun RunProgram(sim::Machine& m, const std::u16string& command_line) {
    Context ctx(m.platform());
    ContextScope scope(ctx);
    m.SetProgramCommandLine(command_line);
    try {
      Main();
    } catch (const platform::ProcessExit&) {
    }
    ProgramRun run{command_line, {}};
    for (std::size_t i = 0; i < ctx.debug->procs.size(); ++i)
      run.procs.push_back(ctx.debug->procs[i].ProcName());
    return run;
  }
  // The user starts the program with a switch.
  ProgramRun UserRuns(std::u16string_view args) {
    return RunProgram(machine_, u"\"C:\\Tools\\Kestrune.exe\" " + std::u16string(args));
  }
  // The mode the main window records after configuring (the switches record none).
  void RecordModeAsTheWindowDoes(platform::DWORD mode) {
    machine_.registry().SetDword(kHKLM, u"SOFTWARE\\Quorlen\\Kestrune", u"BootMode", mode);
  }
  sim::BootReport Restart() {
    runs_.clear();
    machine_.message_boxes.clear();
    return sim::Restart(machine_);
  }
  void ExpectNothingLeft() {
    EXPECT_FALSE(SafeBoot(machine_));
    EXPECT_FALSE(machine_.bcd().Get(u"{current}", u"safebootalternateshell"));
    EXPECT_FALSE(RunOnceEntry(machine_));
    EXPECT_FALSE(Autorun(machine_));
    EXPECT_FALSE(BootModeValue(machine_));
    EXPECT_FALSE(machine_.fs().Exists(kMarker));
  }
  void ExpectNormalBootWithoutProgram() {
    const sim::BootReport boot = Restart();
    EXPECT_EQ(boot.clean_boot, 0);
    EXPECT_EQ(boot.shell, u"C:\\Windows\\Explorer.EXE");
    EXPECT_TRUE(boot.kestrune_runs.empty());
    EXPECT_EQ(machine_.facts.clean_boot, 0);
  }

  sim::Machine machine_;
  std::vector<ProgramRun> runs_;
};

TEST_F(BootCycleTest, SafeNetRestartsIntoNetworkModeAndYesReturnsToNormal) {
  machine_.message_box_answers = {kIDYES};
  UserRuns(u"/safenet");
  ASSERT_EQ(machine_.shutdown_requests.size(), 1u);
  EXPECT_EQ(machine_.shutdown_requests[0].kind, sim::ShutdownRequest::Kind::kRestart);
  RecordModeAsTheWindowDoes(2);

  machine_.message_box_answers = {kIDYES};
  const sim::BootReport boot = Restart();
  EXPECT_EQ(boot.clean_boot, 2);
  EXPECT_EQ(boot.run_once, std::vector<std::u16string>{kEntryData});
  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_EQ(runs_[0].command_line, u"\"C:\\Tools\\Kestrune.exe\" /Remove");
  ASSERT_EQ(machine_.message_boxes.size(), 1u);
  EXPECT_EQ(machine_.message_boxes[0].text, kNextBootPrompt);
  EXPECT_EQ(machine_.message_boxes[0].style, 35u);
  EXPECT_TRUE(runs_[0].Ran(u"RemoveMods"));
  ExpectNothingLeft();
  // The user restarts when ready; nothing is restarted for them.
  EXPECT_EQ(machine_.shutdown_requests.size(), 1u);

  ExpectNormalBootWithoutProgram();
}

TEST_F(BootCycleTest, WithoutARecordedModeTheSafeBootRemovesWithoutAsking) {
  machine_.message_box_answers = {kIDYES};
  UserRuns(u"/safenet");
  const sim::BootReport boot = Restart();
  EXPECT_EQ(boot.clean_boot, 2);
  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_TRUE(machine_.message_boxes.empty());
  ExpectNothingLeft();
  ExpectNormalBootWithoutProgram();
}

TEST_F(BootCycleTest, SafeWithNoKeepsSafeModeAndAsksAgainOnTheNextBoot) {
  machine_.message_box_answers = {kIDYES};
  UserRuns(u"/safe");
  RecordModeAsTheWindowDoes(1);

  machine_.message_box_answers = {kIDNO};
  sim::BootReport boot = Restart();
  EXPECT_EQ(boot.clean_boot, 1);
  ASSERT_EQ(runs_.size(), 1u);
  // No reminder for minimal Safe Mode: only the question.
  EXPECT_EQ(machine_.message_boxes.size(), 1u);
  EXPECT_EQ(RunOnceEntry(machine_), kEntryData);
  EXPECT_EQ(SafeBoot(machine_), u"Minimal");

  machine_.message_box_answers = {kIDYES};
  boot = Restart();
  EXPECT_EQ(boot.clean_boot, 1);
  ASSERT_EQ(runs_.size(), 1u);
  ExpectNothingLeft();
  ExpectNormalBootWithoutProgram();
}

TEST_F(BootCycleTest, SafeCmdBootsTheCommandPromptWhoseHookAsksAndRemindsOnNo) {
  const std::u16string reminder =
      u"请记住:  您可以使用 Windows 内部命令 (例如 'shutdown -r -t 0') 或 \"kestrune /reboot\" "
      u"重新启动 Windows, 使用 \"kestrune /normal\" 命令直接重新启动到 \"正常模式\", "
      u"或简单的输入适用于所有选项的 \"kestrune\".";
  machine_.message_box_answers = {kIDYES};
  UserRuns(u"/safecmd");
  ASSERT_EQ(machine_.shutdown_requests.size(), 1u);
  RecordModeAsTheWindowDoes(3);

  machine_.message_box_answers = {kIDNO};
  sim::BootReport boot = Restart();
  EXPECT_EQ(boot.clean_boot, 1);
  EXPECT_EQ(boot.shell, u"cmd.exe");
  EXPECT_EQ(boot.autorun, kAutorunData);
  EXPECT_TRUE(boot.run_once.empty());  // Explorer is not the shell: RunOnce waits
  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_EQ(runs_[0].command_line, kAutorunData);
  ASSERT_EQ(machine_.message_boxes.size(), 2u);
  EXPECT_EQ(machine_.message_boxes[0].text, kNextBootPrompt);
  EXPECT_EQ(machine_.message_boxes[1].text, reminder);
  EXPECT_EQ(RunOnceEntry(machine_), kEntryData);
  EXPECT_EQ(Autorun(machine_), kAutorunData);
  EXPECT_TRUE(machine_.fs().Exists(kMarker));

  machine_.message_box_answers = {kIDYES};
  boot = Restart();
  EXPECT_EQ(boot.shell, u"cmd.exe");
  ASSERT_EQ(runs_.size(), 1u);
  ExpectNothingLeft();
  ExpectNormalBootWithoutProgram();
}

TEST_F(BootCycleTest, CancelLeavesEveryModificationAndOpensTheWindow) {
  for (const char16_t* sw : {u"/safenet", u"/safe", u"/safecmd"}) {
    SCOPED_TRACE(Utf8(sw));
    sim::Machine m;
    MakeThirtyTwoBit(m);
    std::vector<ProgramRun> runs;
    m.run_kestrune = [&](sim::Machine& mm, const std::u16string& cl) {
      runs.push_back(RunProgram(mm, cl));
    };
    m.message_box_answers = {kIDYES};
    RunProgram(m, u"\"C:\\Tools\\Kestrune.exe\" " + std::u16string(sw));
    const platform::DWORD mode = sw == std::u16string(u"/safenet") ? 2
                                 : sw == std::u16string(u"/safe")  ? 1
                                                                   : 3;
    m.registry().SetDword(kHKLM, u"SOFTWARE\\Quorlen\\Kestrune", u"BootMode", mode);
    const auto autorun_before = Autorun(m);

    m.message_box_answers = {kIDCANCEL};
    sim::Restart(m);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].Ran(u"ShowMainWindow"));
    EXPECT_FALSE(runs[0].Ran(u"RemoveMods"));
    EXPECT_EQ(BootModeValue(m), mode);
    EXPECT_EQ(RunOnceEntry(m), kEntryData);
    EXPECT_EQ(Autorun(m), autorun_before);
    EXPECT_EQ(m.bcd().NextCleanBoot(), mode == 2 ? 2 : 1);
  }
}

TEST_F(BootCycleTest, FailedConfigurationAsksNoRestartAndTheNextBootIsNormal) {
  machine_.bcd().failing[u"set safeboot"] = 5;
  machine_.message_box_answers = {kIDYES};
  const ProgramRun run = UserRuns(u"/safenet");
  EXPECT_TRUE(machine_.shutdown_requests.empty());
  ASSERT_EQ(machine_.message_boxes.size(), 2u);
  EXPECT_EQ(machine_.message_boxes[1].style, 16u);
  EXPECT_FALSE(RunOnceEntry(machine_));
  ExpectNormalBootWithoutProgram();
}

TEST_F(BootCycleTest, RunOnceInSafeModeRunsOnlyStarEntriesEachDeletedFirst) {
  auto& reg = machine_.registry();
  reg.SetString(kHKLM, kRunOnceKey, u"Plain", u"C:\\Windows\\System32\\reg.exe query x");
  reg.SetString(kHKLM, kRunOnceKey, u"*Star", u"C:\\Windows\\System32\\net.exe user");
  machine_.bcd().Find(u"{current}")->elements[u"safeboot"] = u"Minimal";
  std::vector<bool> present_while_running;
  machine_.AddProgram(u"C:\\Windows\\System32\\net.exe",
                      [&](sim::Machine& m, const std::u16string&) {
                        present_while_running.push_back(
                            RunOnceEntry(m).has_value() ||
                            m.registry().GetString(kHKLM, kRunOnceKey, u"*Star").has_value());
                        return platform::DWORD{0};
                      });
  sim::BootReport boot = Restart();
  EXPECT_EQ(boot.run_once, std::vector<std::u16string>{u"C:\\Windows\\System32\\net.exe user"});
  EXPECT_EQ(present_while_running, std::vector<bool>{false});
  EXPECT_TRUE(reg.GetString(kHKLM, kRunOnceKey, u"Plain"));
  // The normal boot runs the rest.
  machine_.bcd().Find(u"{current}")->elements.erase(u"safeboot");
  boot = Restart();
  EXPECT_EQ(boot.run_once, std::vector<std::u16string>{u"C:\\Windows\\System32\\reg.exe query x"});
  EXPECT_FALSE(reg.GetString(kHKLM, kRunOnceKey, u"Plain"));
}

}  // namespace
}  // namespace kes::safeboot_tests

namespace kes::safeboot_tests {
namespace {

// When the Safe Mode boot's run cannot delete the boot setting, the machine would start in Safe
// Mode again with nothing to bring the program back (Windows deleted the entry before running
// it). The program writes the entry again, says so, and the next boot finishes the job.
TEST_F(BootCycleTest, AFailedUndoOnTheSafeModeBootKeepsTheWayBackAndTheNextBootRetries) {
  machine_.message_box_answers = {kIDYES};
  UserRuns(u"/safenet");
  // The first bcdedit.exe call of the Safe Mode boot's run is "/deletevalue safeboot".
  machine_.InjectFault("bcdedit.exe", 5, machine_.CallCount("bcdedit.exe") + 1);
  sim::BootReport boot = Restart();
  EXPECT_EQ(boot.clean_boot, 2);
  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_EQ(SafeBoot(machine_), u"Network");
  EXPECT_EQ(RunOnceEntry(machine_), kEntryData);
  ASSERT_EQ(machine_.message_boxes.size(), 1u);
  EXPECT_EQ(machine_.message_boxes[0].style, 16u);
  EXPECT_EQ(machine_.message_boxes[0].text,
            std::u16string(kUndoFailedNotice) + u"\r\n\r\nbcdedit.exe /deletevalue safeboot");

  boot = Restart();
  EXPECT_EQ(boot.clean_boot, 2);
  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_TRUE(machine_.message_boxes.empty());
  ExpectNothingLeft();
  ExpectNormalBootWithoutProgram();
}

// The same failure when nothing was configured (a plain "/normal" on a normal machine: the
// element is simply absent) must not make the program come back on every boot.
TEST_F(BootCycleTest, NormalOnAMachineWithoutConfigurationLeavesNoEntryBehind) {
  machine_.message_box_answers = {kIDNO};
  UserRuns(u"/normal");
  EXPECT_FALSE(RunOnceEntry(machine_));
  ASSERT_EQ(machine_.message_boxes.size(), 2u);
  EXPECT_EQ(machine_.message_boxes[0].style, 36u);
  ExpectNormalBootWithoutProgram();
}

// "No" keeps Safe Mode only with the entry that asks again on the next boot; when that entry
// cannot be written the configuration is taken back instead, and the user is told.
TEST_F(BootCycleTest, NoWithoutAWritableEntryTakesTheConfigurationBack) {
  machine_.message_box_answers = {kIDYES};
  UserRuns(u"/safe");
  RecordModeAsTheWindowDoes(1);
  // Windows deletes the entry before the run; the run's own write of it is refused.
  machine_.InjectFault("RegSetValueExW", 5, machine_.CallCount("RegSetValueExW") + 1);
  machine_.message_box_answers = {kIDNO};
  const sim::BootReport boot = Restart();
  EXPECT_EQ(boot.clean_boot, 1);
  ASSERT_EQ(runs_.size(), 1u);
  ASSERT_EQ(machine_.message_boxes.size(), 2u);
  EXPECT_EQ(machine_.message_boxes[1].style, 16u);
  EXPECT_TRUE(machine_.message_boxes[1].text.starts_with(kConfigFailedNotice));
  ExpectNothingLeft();
  ExpectNormalBootWithoutProgram();
}

}  // namespace
}  // namespace kes::safeboot_tests
