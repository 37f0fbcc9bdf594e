// What each switch ends with, row by row of the README's table: scripts that run the program
// across many machines tell a configured machine from a declined, failed or unfinished one.
#include <functional>
#include <string>

#include "app/exit_codes.h"
#include "app/main_window.h"
#include "platform/sim/bcd_store.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

using platform::kIDNO;
using platform::kIDYES;

struct ExitRow {
  const char* what;
  const char16_t* args;
  std::function<void(sim::Machine&)> setup;
  ExitCode expected;
};

void PrintTo(const ExitRow& r, std::ostream* os) {
  *os << r.what;
}

void Answers(sim::Machine& m, std::initializer_list<int> answers) {
  m.message_box_answers.assign(answers);
}

// A machine configured for Safe Mode with networking, as the window leaves it (BootMode 2).
void Configured(sim::Machine& m) {
  m.bcd().Find(u"{current}")->elements[u"safeboot"] = u"Network";
  SetBootModeValue(m, 2);
}

const ExitRow kRows[] = {
    {"configure only", u"/safenet-noreboot", {}, ExitCode::kDone},
    {"safe mode, restart accepted", u"/safe", [](auto& m) { Answers(m, {kIDYES}); },
     ExitCode::kDone},
    {"safe mode, restart declined", u"/safecmd", [](auto& m) { Answers(m, {kIDNO}); },
     ExitCode::kDeclined},
    {"safe mode, boot setting refused", u"/safenet",
     [](auto& m) {
       Answers(m, {kIDYES});
       m.bcd().failing[u"set safeboot"] = 5;
     },
     ExitCode::kConfigurationFailed},
    {"configure only, boot setting refused", u"/safenet-noreboot",
     [](auto& m) { m.bcd().failing[u"set safeboot"] = 5; }, ExitCode::kConfigurationFailed},
    {"safe mode from a network location", u"/safe",
     [](auto& m) { m.CurrentProcess().image = u"\\\\server\\share\\Kestrune.exe"; },
     ExitCode::kNetworkLocation},
    {"normal, restart accepted", u"/normal",
     [](auto& m) {
       Configured(m);
       Answers(m, {kIDYES});
     },
     ExitCode::kDone},
    {"normal, restart declined", u"/normal",
     [](auto& m) {
       Configured(m);
       Answers(m, {kIDNO, kIDYES});
     },
     ExitCode::kDone},
    {"normal, boot setting stays", u"/normal",
     [](auto& m) {
       Configured(m);
       m.bcd().failing[u"deletevalue safeboot"] = 5;
     },
     ExitCode::kReturnIncomplete},
    {"undo on the safe mode boot, keep safe mode", u"/Remove",
     [](auto& m) {
       Configured(m);
       Answers(m, {kIDNO});
     },
     ExitCode::kDeclined},
    {"undo with no mode recorded", u"/undo", [](auto& m) { Configured(m); }, ExitCode::kDone},
    {"restart refused by Windows", u"/reboot",
     [](auto& m) { m.InjectFault("ExitWindowsEx", platform::kERROR_ACCESS_DENIED); },
     ExitCode::kRestartRefused},
    {"not a switch", u"/safe now", {}, ExitCode::kNotASwitch},
    {"the window", u"",
     [](auto& m) {
       m.window_actions = {{sim::WindowAction::Kind::kClick, OptSafeModeId(1)},
                           {sim::WindowAction::Kind::kClick, CmdDoId(0)}};
       Answers(m, {kIDNO});
     },
     ExitCode::kDone},
    {"Windows 98", u"/safe", [](auto& m) { ASSERT_TRUE(sim::ApplyVersionProfile(m, "win98")); },
     ExitCode::kUnsupportedWindows},
};

class ExitCodesSafeElevated : public MachineTest, public ::testing::WithParamInterface<ExitRow> {};

TEST_P(ExitCodesSafeElevated, EachOutcomeHasItsCode) {
  const ExitRow& row = GetParam();
  if (row.setup) row.setup(m);
  Context run(m.platform());
  ContextScope scope(run);
  m.SetProgramCommandLine(ProgramCommandLine(m, row.args));
  std::int32_t code = -1;
  try {
    code = Main();
  } catch (const platform::ProcessExit& e) {
    code = static_cast<std::int32_t>(e.code);
  }
  EXPECT_EQ(code, static_cast<std::int32_t>(row.expected));
}

INSTANTIATE_TEST_SUITE_P(Rows, ExitCodesSafeElevated, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::to_string(info.index); });

}  // namespace
}  // namespace kes
