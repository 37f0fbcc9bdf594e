// The debug log of one whole road, compared with the log kept beside this file: "/safenet"
// answered Yes with its restart, then the Safe Mode boot's "/Remove". The log is what support
// reads; a change of wording, order or of the names it shows must be deliberate, so the kept copy
// is rewritten only with KES_UPDATE_GOLDEN=1 and reviewed as part of the change.
#include <fstream>
#include <sstream>

#include "platform/sim/boot_cycle.h"
#include "tests/support/machine_fixture.h"

namespace kes {
namespace {

// The run's command line, its log, then every trace record with the names and values it was
// handed.
std::u16string RunAndLog(sim::Machine& m, const std::u16string& command_line) {
  std::u16string out = u"==== " + command_line + u"\r\n";
  RunProgram(m, command_line, [&](const Context& ctx) {
    out += debug::DebugLogText() + u"---- trace records\r\n";
    for (const debug::AppProc* r : Calls(ctx)) {
      out += Dec(r->ProcID()) + u" " + r->ProcedureSource() + u" kind=" + Dec(r->KindCode()) +
             u"\r\n  byval=" + std::u16string(r->Vars_Passed_ByVal()) + u"\r\n  byref=" +
             std::u16string(r->Vars_Passed_ByRef()) + u"\r\n  created=" +
             std::u16string(r->Vars_Created()) + u"\r\n  returned=" +
             std::u16string(r->Vars_Returned_ByRef()) + u"\r\n  result=" +
             std::u16string(r->Vars_Function_Result()) + u"\r\n";
    }
  });
  for (char16_t& c : out)
    if (c == u'\0') c = u'~';  // fixed-size buffers: keep the file text
  return out;
}

std::string GoldenPath() {
  return std::string(KES_SOURCE_DIR) + "/tests/app/safenet_cycle.golden.log";
}

TEST(TraceGolden, SafeNetWithRestartAndTheSafeModeRemoveLogAsKept) {
  sim::Machine machine;
  MakeThirtyTwoBit(machine);
  // The verbose flavour: every procedure's entry, arguments and exit are in the log.
  machine.version_resources[u"c:\\tools\\kestrune.exe"][u"Comments"] = u"FastTrack";
  std::u16string log;
  machine.run_kestrune = [&](sim::Machine& m, const std::u16string& command_line) {
    log += RunAndLog(m, command_line);
  };
  machine.message_box_answers = {platform::kIDYES};
  const std::u16string first = u"\"C:\\Tools\\Kestrune.exe\" /safenet";
  log += RunAndLog(machine, first);
  machine.message_box_answers = {platform::kIDYES};
  sim::Restart(machine);

  const std::string text = Utf8(log);
  if (std::getenv("KES_UPDATE_GOLDEN")) {
    std::ofstream(GoldenPath(), std::ios::binary) << text;
    GTEST_SKIP() << "rewrote " << GoldenPath();
  }
  std::ifstream in(GoldenPath(), std::ios::binary);
  ASSERT_TRUE(in) << GoldenPath();
  std::stringstream kept;
  kept << in.rdbuf();
  EXPECT_EQ(text, kept.str());
}

}  // namespace
}  // namespace kes
