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

}  // namespace
}  // namespace kes
