// boot.ini editing on a simulated Windows XP: the exact file after an edit, the restore byte
// for byte with the attributes setup gave it, every failure told and nothing lost, and the whole
// road from configuration over the Safe Mode boot back to normal.
#include "app/bootini.h"
#include "platform/sim/boot_cycle.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using platform::kIDYES;

constexpr char16_t kIni[] = u"C:\\boot.ini";
constexpr char16_t kBackup[] = u"C:\\boot.Quorlen";
// As the XP profile's setup leaves it.
constexpr char kOriginal[] =
    "[boot loader]\r\n"
    "timeout=30\r\n"
    "default=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
    "[operating systems]\r\n"
    "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Windows XP Professional\" "
    "/noexecute=optin /fastdetect\r\n";
constexpr platform::DWORD kReadOnlyHiddenSystem = 7;

class BootIniTest : public MachineTest {
 protected:
  void SetUp() override { Use("xp-sp3"); }
  std::string Ini() { return m.fs().ReadText(kIni).value_or("<missing>"); }
  std::vector<std::u16string> Texts() const {
    std::vector<std::u16string> out;
    for (const auto& box : m.message_boxes) out.push_back(box.text);
    return out;
  }
  // The program, wherever the simulated Windows starts it.
  void InstallProgram() {
    m.run_kestrune = [](sim::Machine& mm, const std::u16string& command_line) {
      RunProgram(mm, command_line);
    };
  }
};

// The file after an edit is the same whether or not the original ended with a line break:
// without one, the old entry used to be glued onto the new one.
class BootIniEdit : public BootIniTest, public ::testing::WithParamInterface<bool> {};

TEST_P(BootIniEdit, ChangesTheDefaultEntryAndTheUndoRestoresEveryByte) {
  std::string original = kOriginal;
  ASSERT_EQ(Ini(), original);
  if (!GetParam()) {
    original.resize(original.size() - 2);
    m.fs().AddFile(kIni, original, kReadOnlyHiddenSystem);
  }
  Start();
  EXPECT_TRUE(BootIniSafeMod(SafeMode::kMinimal));
  EXPECT_EQ(Field(ArgsOfOnlyCall(u"BootIniSafeMod"), u"iBootIniMode"), u"2");
  EXPECT_EQ(Ini(),
            "[boot loader]\r\n"
            "timeout=3\r\n"
            "default=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
            "[operating systems]\r\n"
            "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Quorlen Kestrune Mod\" /fastdetect "
            "/safeboot:minimal /sos /bootlog /noguiboot\r\n"
            "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Windows XP Professional\" "
            "/noexecute=optin /fastdetect\r\n");
  EXPECT_EQ(m.fs().ReadText(kBackup), original);
  EXPECT_EQ(m.fs().Attributes(kIni) & kReadOnlyHiddenSystem, 0u);
  EXPECT_EQ(sim::NextBootChoice(m).clean_boot, 1);
  // A second edit keeps the first backup.
  EXPECT_TRUE(BootIniSafeMod(SafeMode::kNetwork));
  EXPECT_EQ(m.fs().ReadText(kBackup), original);
  EXPECT_EQ(sim::NextBootChoice(m).clean_boot, 2);

  EXPECT_TRUE(BootIniUndoMod());
  EXPECT_EQ(Ini(), original);
  EXPECT_EQ(m.fs().Attributes(kIni), kReadOnlyHiddenSystem);
  EXPECT_FALSE(m.fs().Exists(kBackup));
  EXPECT_TRUE(m.message_boxes.empty());
}
INSTANTIATE_TEST_SUITE_P(FinalLineBreak, BootIniEdit, ::testing::Bool());

TEST_F(BootIniTest, WhatCannotBeDoneIsToldAndTouchesNothing) {
  m.fs().Remove(kIni);
  Start();
  EXPECT_FALSE(BootIniSafeMod(SafeMode::kMinimal));
  EXPECT_FALSE(m.fs().Exists(kBackup));
  // Held open by another program: the backup cannot be made.
  m.fs().AddFile(kIni, std::string_view(kOriginal), kReadOnlyHiddenSystem);
  m.fs().Lock(kIni, true);
  EXPECT_FALSE(BootIniSafeMod(SafeMode::kMinimal));
  EXPECT_FALSE(m.fs().Exists(kBackup));
  EXPECT_EQ(Texts(), (std::vector<std::u16string>{u"Aborting; Could not find boot.ini file!",
                                                  u"Aborting; Could not backup boot.ini!"}));
  EXPECT_EQ(m.message_boxes[0].style, 0u);
  EXPECT_EQ(m.message_boxes[1].style, 16u);

  // The return to normal without a backup tells it, and still offers the restart.
  m.fs().Lock(kIni, false);
  m.message_boxes.clear();
  Run(u"/normal");
  ASSERT_EQ(m.message_boxes.size(), 3u);
  EXPECT_EQ(m.message_boxes[0].text,
            u"Aborting; Could not find boot.ini backup:  C:\\boot.Quorlen");
  EXPECT_EQ(m.message_boxes[0].style, 0u);
  EXPECT_EQ(Ini(), kOriginal);

  // Without a default entry the Safe Mode entry would go under an empty name beside an empty
  // old entry: nothing is written, and that is told.
  const std::string no_default = "[boot loader]\r\n[operating systems]\r\nC:\\=\"Old\"\r\n";
  m.fs().AddFile(kIni, no_default, kReadOnlyHiddenSystem);
  m.message_boxes.clear();
  EXPECT_FALSE(BootIniSafeMod(SafeMode::kMinimal));
  EXPECT_EQ(Ini(), no_default);
  EXPECT_EQ(Texts(), std::vector<std::u16string>{u"Aborting; Error writing to boot.ini!"});
}

TEST_F(BootIniTest, AttributesFallBackToASecondWayAndAFailureOfBothIsTold) {
  Start();
  m.InjectFault("SetFileAttributesW", 5, m.CallCount("SetFileAttributesW") + 1);
  EXPECT_TRUE(BootIniSafeMod(SafeMode::kMinimal));
  EXPECT_TRUE(LogHas("Error setting attributes on Boot.ini!  Trying older method..."));
  m.InjectFault("SetFileAttributesW", 5);
  EXPECT_FALSE(BootIniUndoMod());
  EXPECT_TRUE(LogHas("Aborting; Error setting attributes on Boot.ini!  (Older method)"));
  EXPECT_EQ(Texts(), std::vector<std::u16string>{u"Aborting; 无法设置文件属性:  C:\\boot.ini"});
  EXPECT_TRUE(m.fs().Exists(kBackup));
}

// Every configuration starts by clearing an earlier one; on a machine that never had one there is
// no backup, which is no reason for a notice.
TEST_F(BootIniTest, AFirstConfigurationShowsNoNoticeAboutAMissingBackup) {
  bool logged = false;
  RunProgram(m, ProgramCommandLine(m, u"/safenet-noreboot"),
             [&](const Context&) { logged = LogHas("No boot.ini backup exists"); });
  EXPECT_TRUE(m.message_boxes.empty());
  EXPECT_EQ(sim::NextBootChoice(m).clean_boot, 2);
  EXPECT_TRUE(logged);
  // A machine as set up again.
  m.fs().AddFile(kIni, std::string_view(kOriginal), kReadOnlyHiddenSystem);
  m.fs().Remove(kBackup);
  m.message_box_answers = {kIDYES};
  Run(u"/safe");
  EXPECT_EQ(m.message_boxes.size(), 1u);  // the restart question
  EXPECT_EQ(m.shutdown_requests.size(), 1u);
}

// The hook is written before boot.ini; an edit that fails takes it back with the file restored.
TEST_F(BootIniTest, AFailedEditTakesTheHookBack) {
  Start();
  m.InjectFault("WritePrivateProfileStringW", 5, m.CallCount("WritePrivateProfileStringW") + 2);
  m.message_box_answers = {kIDYES};
  EXPECT_FALSE(DoSafe(false, {.restart = true}));
  ASSERT_EQ(m.message_boxes.size(), 3u);
  EXPECT_EQ(m.message_boxes[1].text, u"Aborting; Error writing to boot.ini!");
  EXPECT_EQ(m.message_boxes[2].text, u"无法对 Boot.INI 文件进行必要的更改, 正在中止.");
  EXPECT_EQ(m.message_boxes[2].style, 0u);
  EXPECT_FALSE(RunOnceEntry(m));
  EXPECT_EQ(Ini(), kOriginal);
  EXPECT_EQ(m.fs().Attributes(kIni), kReadOnlyHiddenSystem);
  EXPECT_FALSE(m.fs().Exists(kBackup));
  EXPECT_TRUE(m.shutdown_requests.empty());
}

// A restore that fails keeps the way back and says so; the next Safe Mode boot retries.
TEST_F(BootIniTest, AFailedRestoreKeepsTheWayBackAndSaysSo) {
  InstallProgram();
  m.message_box_answers = {kIDYES};
  Run(u"/safe");
  m.fs().Lock(kBackup, true);
  m.message_boxes.clear();
  Run(u"/normal");
  EXPECT_EQ(Texts(), (std::vector<std::u16string>{
                         u"Aborting; File copy (backup to Boot.ini) failed!",
                         std::u16string(kUndoFailedNotice) + u"\r\n\r\nC:\\boot.ini"}));
  EXPECT_EQ(RunOnceEntry(m), kEntryData);
  EXPECT_EQ(m.shutdown_requests.size(), 1u);  // only the configuration's own restart

  m.fs().Lock(kBackup, false);
  const sim::BootReport safe = sim::Restart(m);
  EXPECT_EQ(safe.clean_boot, 1);
  EXPECT_EQ(safe.kestrune_runs.size(), 1u);
  EXPECT_EQ(Ini(), kOriginal);
  EXPECT_FALSE(m.fs().Exists(kBackup));
  EXPECT_FALSE(RunOnceEntry(m));
  EXPECT_EQ(sim::Restart(m).clean_boot, 0);
}

// Configure, restart, the undo hook, back to normal: on XP and Server 2003 as on Windows 10.
class BootIniRoad : public BootIniTest, public ::testing::WithParamInterface<const char*> {
  void SetUp() override { Use(GetParam()); }
};

TEST_P(BootIniRoad, RunsFromBootIniAndBackToTheSameBytes) {
  InstallProgram();
  const std::string original = Ini();
  struct Case {
    const char16_t* sw;
    int clean_boot;
    const char16_t* shell;
  };
  for (const Case& c :
       {Case{u"/safe", 1, u"C:\\Windows\\Explorer.EXE"},
        Case{u"/safenet", 2, u"C:\\Windows\\Explorer.EXE"}, Case{u"/safecmd", 1, u"cmd.exe"}}) {
    m.message_box_answers = {kIDYES};
    Run(c.sw);
    const sim::BootReport safe = sim::Restart(m);
    EXPECT_EQ(safe.clean_boot, c.clean_boot) << Utf8(c.sw);
    EXPECT_EQ(safe.shell, c.shell) << Utf8(c.sw);
    EXPECT_EQ(safe.kestrune_runs.size(), 1u) << Utf8(c.sw);
    EXPECT_EQ(Ini(), original) << Utf8(c.sw);
    EXPECT_EQ(m.fs().Attributes(kIni), kReadOnlyHiddenSystem);
    EXPECT_FALSE(m.fs().Exists(kBackup));
    EXPECT_FALSE(RunOnceEntry(m));
    EXPECT_FALSE(Autorun(m));
    EXPECT_EQ(sim::Restart(m).clean_boot, 0);
  }
}
INSTANTIATE_TEST_SUITE_P(Releases, BootIniRoad, ::testing::Values("xp-sp3", "server2003"));

}  // namespace
}  // namespace kes
