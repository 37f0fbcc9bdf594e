// Process entry of framework_e2e.exe, the console program that proves the framework on the real
// Windows backend: `framework_e2e.exe SCENARIO...` runs each named scenario in a fresh context,
// prints "PASS <name>" or "FAIL <name>: <reason>" per scenario and exits with 0 when all passed,
// 1 when any failed or was unknown, 2 when none was named.
#include <cstdio>
#include <string>

#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "platform/win32/machine.h"
#include "tests/e2e/scenarios.h"

namespace {

using kes::win32::e2e::Outcome;
using kes::win32::e2e::Scenario;

// Scenario names are ASCII; anything else is shown as '?' so the report stays one plain line.
std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; *text; ++text) out += (*text > 0 && *text < 0x80) ? static_cast<char>(*text) : '?';
  return out;
}

void PrintUsage() {
  std::printf("usage: framework_e2e.exe SCENARIO...\nscenarios:");
  for (const Scenario& s : kes::win32::e2e::Scenarios()) std::printf(" %s", s.name);
  std::printf("\n");
}

// Each scenario gets its own context so one cannot see the trace records or facts of another.
Outcome RunScenario(kes::platform::Platform& os, const Scenario& scenario) {
  try {
    kes::Context ctx(os);
    kes::ContextScope scope(ctx);
    kes::debug::InitDebugModuleVars();
    Outcome outcome = scenario.run();
    kes::debug::CleanupDebug();
    return outcome;
  } catch (const std::exception& e) {
    return {false, std::string("escaped exception: ") + e.what()};
  } catch (...) {
    return {false, "escaped exception of unknown type"};
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    PrintUsage();
    return 2;
  }
  kes::win32::Win32Machine machine;
  int failures = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string name = Narrow(argv[i]);
    const Scenario* scenario = kes::win32::e2e::FindScenario(name);
    Outcome outcome =
        scenario ? RunScenario(machine.platform(), *scenario) : Outcome{false, "unknown scenario"};
    if (outcome.passed) {
      std::printf("PASS %s%s%s\n", name.c_str(), outcome.detail.empty() ? "" : ": ",
                  outcome.detail.c_str());
    } else {
      std::printf("FAIL %s: %s\n", name.c_str(), outcome.detail.c_str());
      ++failures;
      if (!scenario) PrintUsage();
    }
    std::fflush(stdout);
  }
  return failures == 0 ? 0 : 1;
}
