// The program's main road over simulated restarts: a switch configures Safe Mode and restarts,
// the Safe Mode boot starts the program again through its undo hook, the next-boot question is
// answered, and the boot after that is normal with nothing left behind - or Safe Mode again
// when the user keeps it. Each start of the program runs in a fresh context, as a new process.
#include "platform/sim/boot_cycle.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using platform::kIDCANCEL;
using platform::kIDNO;
using platform::kIDYES;

// One start of the program as the machine made it: its command line and the procedures it ran.
struct ProgramRun {
  std::u16string command_line;
  std::vector<std::u16string> procs;
  bool Ran(std::u16string_view name) const { return std::ranges::count(procs, name) > 0; }
};

class BootCycleTest : public MachineTest {
 protected:
  BootCycleTest() {
    MakeThirtyTwoBit(m);
    m.run_kestrune = [this](sim::Machine& machine, const std::u16string& command_line) {
      runs_.push_back(Run(machine, command_line));
    };
  }

  static ProgramRun Run(sim::Machine& machine, const std::u16string& command_line) {
    ProgramRun run{command_line, {}};
    kes::RunProgram(machine, command_line, [&](const Context& c) { run.procs = ProcsRun(c); });
    return run;
  }
  // The user starts the program with a switch.
  ProgramRun UserRuns(std::u16string_view args) { return Run(m, ProgramCommandLine(m, args)); }
  sim::BootReport Restart() {
    runs_.clear();
    m.message_boxes.clear();
    return sim::Restart(m);
  }
  void ExpectNothingLeft() {
    EXPECT_FALSE(SafeBoot(m));
    EXPECT_FALSE(m.bcd().Get(u"{current}", u"safebootalternateshell"));
    EXPECT_FALSE(RunOnceEntry(m));
    EXPECT_FALSE(Autorun(m));
    EXPECT_FALSE(BootModeValue(m));
    EXPECT_FALSE(m.fs().Exists(kMarker));
  }
  void ExpectNormalBootWithoutProgram() {
    const sim::BootReport boot = Restart();
    EXPECT_EQ(boot.clean_boot, 0);
    EXPECT_EQ(boot.shell, u"C:\\Windows\\Explorer.EXE");
    EXPECT_TRUE(boot.kestrune_runs.empty());
    EXPECT_EQ(m.facts.clean_boot, 0);
  }

  std::vector<ProgramRun> runs_;
};

TEST_F(BootCycleTest, SafeNetRestartsIntoNetworkModeAndYesReturnsToNormal) {
  m.message_box_answers = {kIDYES};
  UserRuns(u"/safenet");
  ASSERT_EQ(m.shutdown_requests.size(), 1u);
  EXPECT_EQ(m.shutdown_requests[0].kind, sim::ShutdownRequest::Kind::kRestart);
  SetBootModeValue(m, 2);

  m.message_box_answers = {kIDYES};
  const sim::BootReport boot = Restart();
  EXPECT_EQ(boot.clean_boot, 2);
  EXPECT_EQ(boot.run_once, std::vector<std::u16string>{kEntryData});
  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_EQ(runs_[0].command_line, u"\"C:\\Tools\\Kestrune.exe\" /Remove");
  ASSERT_EQ(m.message_boxes.size(), 1u);
  EXPECT_EQ(m.message_boxes[0].text, kNextBootPrompt);
  EXPECT_EQ(m.message_boxes[0].style, 35u);
  EXPECT_TRUE(runs_[0].Ran(u"RemoveMods"));
  ExpectNothingLeft();
  // The user restarts when ready; nothing is restarted for them.
  EXPECT_EQ(m.shutdown_requests.size(), 1u);

  ExpectNormalBootWithoutProgram();
}

TEST_F(BootCycleTest, WithoutARecordedModeTheSafeBootRemovesWithoutAsking) {
  m.message_box_answers = {kIDYES};
  UserRuns(u"/safenet");
  const sim::BootReport boot = Restart();
  EXPECT_EQ(boot.clean_boot, 2);
  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_TRUE(m.message_boxes.empty());
  ExpectNothingLeft();
  ExpectNormalBootWithoutProgram();
}

TEST_F(BootCycleTest, SafeWithNoKeepsSafeModeAndAsksAgainOnTheNextBoot) {
  m.message_box_answers = {kIDYES};
  UserRuns(u"/safe");
  SetBootModeValue(m, 1);

  m.message_box_answers = {kIDNO};
  sim::BootReport boot = Restart();
  EXPECT_EQ(boot.clean_boot, 1);
  ASSERT_EQ(runs_.size(), 1u);
  // No reminder for minimal Safe Mode: only the question.
  EXPECT_EQ(m.message_boxes.size(), 1u);
  EXPECT_EQ(RunOnceEntry(m), kEntryData);
  EXPECT_EQ(SafeBoot(m), u"Minimal");

  m.message_box_answers = {kIDYES};
  boot = Restart();
  EXPECT_EQ(boot.clean_boot, 1);
  ASSERT_EQ(runs_.size(), 1u);
  ExpectNothingLeft();
  ExpectNormalBootWithoutProgram();
}

TEST_F(BootCycleTest, SafeCmdBootsTheCommandPromptWhoseHookAsksAndRemindsOnNo) {
  m.message_box_answers = {kIDYES};
  UserRuns(u"/safecmd");
  ASSERT_EQ(m.shutdown_requests.size(), 1u);
  SetBootModeValue(m, 3);

  m.message_box_answers = {kIDNO};
  sim::BootReport boot = Restart();
  EXPECT_EQ(boot.clean_boot, 1);
  EXPECT_EQ(boot.shell, u"cmd.exe");
  EXPECT_EQ(boot.autorun, kAutorunData);
  EXPECT_TRUE(boot.run_once.empty());  // Explorer is not the shell: RunOnce waits
  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_EQ(runs_[0].command_line, kAutorunData);
  ASSERT_EQ(m.message_boxes.size(), 2u);
  EXPECT_EQ(m.message_boxes[0].text, kNextBootPrompt);
  EXPECT_EQ(m.message_boxes[1].text, kReminder);
  EXPECT_EQ(RunOnceEntry(m), kEntryData);
  EXPECT_EQ(Autorun(m), kAutorunData);
  EXPECT_TRUE(m.fs().Exists(kMarker));

  m.message_box_answers = {kIDYES};
  boot = Restart();
  EXPECT_EQ(boot.shell, u"cmd.exe");
  ASSERT_EQ(runs_.size(), 1u);
  ExpectNothingLeft();
  ExpectNormalBootWithoutProgram();
}

// A switch and the Safe Mode variant the main window would record for it.
struct SwitchMode {
  const char16_t* args;
  platform::DWORD mode;
};
class CancelOnTheSafeModeBootTest : public BootCycleTest,
                                    public ::testing::WithParamInterface<SwitchMode> {};

TEST_P(CancelOnTheSafeModeBootTest, LeavesEveryModificationAndOpensTheWindow) {
  const auto [args, mode] = GetParam();
  m.message_box_answers = {kIDYES};
  UserRuns(args);
  SetBootModeValue(m, mode);
  const auto autorun_before = Autorun(m);

  m.message_box_answers = {kIDCANCEL};
  Restart();
  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_TRUE(runs_[0].Ran(u"ShowMainWindow"));
  EXPECT_FALSE(runs_[0].Ran(u"RemoveMods"));
  EXPECT_EQ(BootModeValue(m), mode);
  EXPECT_EQ(RunOnceEntry(m), kEntryData);
  EXPECT_EQ(Autorun(m), autorun_before);
  EXPECT_EQ(m.bcd().NextCleanBoot(), mode == 2 ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(EachSwitch, CancelOnTheSafeModeBootTest,
                         ::testing::Values(SwitchMode{u"/safenet", 2}, SwitchMode{u"/safe", 1},
                                           SwitchMode{u"/safecmd", 3}));

TEST_F(BootCycleTest, FailedConfigurationAsksNoRestartAndTheNextBootIsNormal) {
  m.bcd().failing[u"set safeboot"] = 5;
  m.message_box_answers = {kIDYES};
  UserRuns(u"/safenet");
  EXPECT_TRUE(m.shutdown_requests.empty());
  ASSERT_EQ(m.message_boxes.size(), 2u);
  EXPECT_EQ(m.message_boxes[1].style, 16u);
  EXPECT_FALSE(RunOnceEntry(m));
  ExpectNormalBootWithoutProgram();
}

// When the Safe Mode boot's run cannot delete the boot setting, the machine would start in Safe
// Mode again with nothing to bring the program back (Windows deleted the entry before running
// it). The program writes the entry again, says so, and the next boot finishes the job.
TEST_F(BootCycleTest, AFailedUndoOnTheSafeModeBootKeepsTheWayBackAndTheNextBootRetries) {
  m.message_box_answers = {kIDYES};
  UserRuns(u"/safenet");
  // The first bcdedit.exe call of the Safe Mode boot's run is "/deletevalue safeboot".
  m.InjectFault("bcdedit.exe", 5, m.CallCount("bcdedit.exe") + 1);
  sim::BootReport boot = Restart();
  EXPECT_EQ(boot.clean_boot, 2);
  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_EQ(SafeBoot(m), u"Network");
  EXPECT_EQ(RunOnceEntry(m), kEntryData);
  ASSERT_EQ(m.message_boxes.size(), 1u);
  EXPECT_EQ(m.message_boxes[0].style, 16u);
  EXPECT_EQ(m.message_boxes[0].text,
            std::u16string(kUndoFailedNotice) + u"\r\n\r\nbcdedit.exe /deletevalue safeboot");

  boot = Restart();
  EXPECT_EQ(boot.clean_boot, 2);
  ASSERT_EQ(runs_.size(), 1u);
  EXPECT_TRUE(m.message_boxes.empty());
  ExpectNothingLeft();
  ExpectNormalBootWithoutProgram();
}

// The same failure when nothing was configured (a plain "/normal" on a normal machine: the
// element is simply absent) must not make the program come back on every boot.
TEST_F(BootCycleTest, NormalOnAMachineWithoutConfigurationLeavesNoEntryBehind) {
  m.message_box_answers = {kIDNO};
  UserRuns(u"/normal");
  EXPECT_FALSE(RunOnceEntry(m));
  ASSERT_EQ(m.message_boxes.size(), 2u);
  EXPECT_EQ(m.message_boxes[0].style, 36u);
  ExpectNormalBootWithoutProgram();
}

// "No" keeps Safe Mode only with the entry that asks again on the next boot; when that entry
// cannot be written the configuration is taken back instead, and the user is told.
TEST_F(BootCycleTest, NoWithoutAWritableEntryTakesTheConfigurationBack) {
  m.message_box_answers = {kIDYES};
  UserRuns(u"/safe");
  SetBootModeValue(m, 1);
  // Windows deletes the entry before the run; the run's own writes of it are refused.
  m.InjectFault("RegSetValueExW", 5);
  m.message_box_answers = {kIDNO};
  const sim::BootReport boot = Restart();
  EXPECT_EQ(boot.clean_boot, 1);
  ASSERT_EQ(runs_.size(), 1u);
  ASSERT_EQ(m.message_boxes.size(), 2u);
  EXPECT_EQ(m.message_boxes[1].style, 16u);
  EXPECT_TRUE(m.message_boxes[1].text.starts_with(kConfigFailedNotice));
  ExpectNothingLeft();
  ExpectNormalBootWithoutProgram();
}

}  // namespace
}  // namespace kes
