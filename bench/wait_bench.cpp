// The launchers' exit wait on the simulated machine. The simulated clock makes waiting itself
// free, so what these measure is the native cost of one wait pass (exit-code read, message
// pump, wait call) and how late each style notices a program's end in simulated time. The real
// latency under Windows is measured by the "wait-latency" scenario of framework_e2e.exe.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "framework/debug/tracing.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/process/close_handle.h"
#include "framework/process/exit_wait.h"
#include "framework/process/shell.h"
#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"

namespace kes {
namespace {

struct World {
  World() {
    debug::InitDebugModuleVars();
    ctx.env = std::make_unique<AppEnv>();
    ctx.env->g_Win64bit = true;  // the 32-bit program on 64-bit Windows, as shipped
    m.fs().AddFile(u"C:\\Tools\\work.exe", std::string("MZ"));
  }
  sim::Machine m;
  Context ctx{m.platform()};
  ContextScope scope{ctx};
};

// One wait over a program that runs `range(0)` simulated ms: time per pass and the simulated
// delay between the program's end and the wait's return.
void WaitPasses(benchmark::State& state, ExitWaitStyle style) {
  World w;
  const auto run_ms = static_cast<std::uint32_t>(state.range(0));
  w.m.AddProgram(
      u"C:\\Tools\\work.exe", [](sim::Machine&, const std::u16string&) { return 0u; }, run_ms);
  std::uint64_t passes = 0;
  std::int64_t late_ms = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::u16string cmd = u"C:\\Tools\\work.exe";
    platform::STARTUPINFOW si;
    platform::PROCESS_INFORMATION pi;
    w.m.platform().proc.CreateProcessW(nullptr, cmd.data(), 0, nullptr, &si, &pi);
    const std::int64_t ends = w.m.local_ms + run_ms;
    state.ResumeTiming();
    const ExitWaitResult r = WaitForProcessExit(pi.hProcess, false, 0, style);
    state.PauseTiming();
    passes += r.passes;
    late_ms += w.m.local_ms - ends;
    CloseMyHandle(pi.hThread);
    CloseMyHandle(pi.hProcess);
    w.m.processes.resize(4);  // keep the process table at its start size
    state.ResumeTiming();
  }
  state.counters["passes"] =
      benchmark::Counter(static_cast<double>(passes), benchmark::Counter::kAvgIterations);
  state.counters["ns_per_pass"] = benchmark::Counter(
      static_cast<double>(passes), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["sim_late_ms"] =
      benchmark::Counter(static_cast<double>(late_ms), benchmark::Counter::kAvgIterations);
}

void BM_WaitMessageAware(benchmark::State& state) {
  WaitPasses(state, ExitWaitStyle::kMessageAware);
}
void BM_WaitClassicSleep(benchmark::State& state) {
  WaitPasses(state, ExitWaitStyle::kClassicSleep);
}
BENCHMARK(BM_WaitMessageAware)->Arg(30)->Arg(1000);
BENCHMARK(BM_WaitClassicSleep)->Arg(30)->Arg(1000);

// A whole ShellAndWait of "cmd.exe /c exit 0": search, creation, the tool, the wait, clean-up.
void BM_ShellAndWaitCmdExit(benchmark::State& state) {
  World w;
  std::u16string error_text;
  std::int32_t code = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ShellAndWait(u"cmd.exe /c exit 0", kShellHide, error_text, 0, false, code));
    state.PauseTiming();
    w.m.processes.resize(4);
    w.m.started_command_lines.clear();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ShellAndWaitCmdExit);

}  // namespace
}  // namespace kes
