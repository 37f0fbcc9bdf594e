// A simulated boot: what Windows runs of the RunOnce entries in Safe Mode and in normal mode.
#include "platform/sim/boot_cycle.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using SimBootTest = MachineTest;

TEST_F(SimBootTest, RunOnceInSafeModeRunsOnlyStarEntriesEachDeletedFirst) {
  MakeThirtyTwoBit(m);  // one System32: the net.exe set up below is the one the boot starts
  auto& reg = m.registry();
  reg.SetString(kHKLM, kRunOnceKey, u"Plain", u"C:\\Windows\\System32\\reg.exe query x");
  reg.SetString(kHKLM, kRunOnceKey, u"*Star", u"C:\\Windows\\System32\\net.exe user");
  m.bcd().Find(u"{current}")->elements[u"safeboot"] = u"Minimal";
  std::vector<bool> present_while_running;
  m.AddProgram(u"C:\\Windows\\System32\\net.exe",
               [&](sim::Machine& machine, const std::u16string&) {
                 present_while_running.push_back(
                     machine.registry().GetString(kHKLM, kRunOnceKey, u"*Star").has_value());
                 return platform::DWORD{0};
               });
  sim::BootReport boot = sim::Restart(m);
  EXPECT_EQ(boot.run_once, std::vector<std::u16string>{u"C:\\Windows\\System32\\net.exe user"});
  EXPECT_EQ(present_while_running, std::vector<bool>{false});
  EXPECT_TRUE(reg.GetString(kHKLM, kRunOnceKey, u"Plain"));
  // The normal boot runs the rest.
  m.bcd().Find(u"{current}")->elements.erase(u"safeboot");
  boot = sim::Restart(m);
  EXPECT_EQ(boot.run_once, std::vector<std::u16string>{u"C:\\Windows\\System32\\reg.exe query x"});
  EXPECT_FALSE(reg.GetString(kHKLM, kRunOnceKey, u"Plain"));
}

// Before Vista the boot loader starts the boot.ini entry that "default" names (the first of
// that name), with its /safeboot switch; the boot store plays no part.
using BootIniBootCycle = MachineTest;

TEST_F(BootIniBootCycle, TheDefaultEntrysSwitchesDecideTheBoot) {
  Use("xp-sp3");
  m.bcd().Find(u"{current}")->elements[u"safeboot"] = u"Network";
  struct Case {
    const char* entry;
    int clean_boot;
    bool alternate_shell;
  };
  for (const Case& c :
       {Case{"\"XP\" /fastdetect", 0, false}, Case{"\"K\" /SafeBoot:Minimal /sos", 1, false},
        Case{"\"K\" /fastdetect /safeboot:network", 2, false},
        Case{"\"K\" /safeboot:minimal(alternateshell) /sos", 1, true}}) {
    m.fs().AddFile(u"C:\\boot.ini", std::string("[boot loader]\r\ndefault=multi(0)\\WINDOWS\r\n"
                                                "[operating systems]\r\nmulti(0)\\windows=") +
                                        c.entry + "\r\nmulti(0)\\WINDOWS=\"XP\"\r\n");
    const sim::BootChoice choice = sim::NextBootChoice(m);
    EXPECT_EQ(choice.clean_boot, c.clean_boot) << c.entry;
    EXPECT_EQ(choice.alternate_shell, c.alternate_shell) << c.entry;
  }
  const sim::BootReport boot = sim::Restart(m);
  EXPECT_EQ(boot.shell, u"cmd.exe");
  EXPECT_EQ(m.facts.clean_boot, 1);
  // Without boot.ini the loader starts \WINDOWS normally.
  m.fs().Remove(u"C:\\boot.ini");
  EXPECT_EQ(sim::Restart(m).clean_boot, 0);
}

}  // namespace
}  // namespace kes
