// Shared set-up of the start-up and dispatch tests: a fresh simulated machine and context per
// test, the program's command line, and a look into the trace records to see which procedures
// ran and with which arguments.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "app/main.h"
#include "framework/debug/tracing.h"
#include "framework/debug/tracing_state.h"
#include "framework/env/context.h"
#include "platform/base/u16.h"
#include "platform/sim/machine.h"

namespace kes::startup_tests {

class StartupTest : public ::testing::Test {
 protected:
  // The program runs with this argument text after its own (quoted) path.
  void SetArgs(std::u16string_view args) {
    args_ = std::u16string(args);
    machine_.SetProgramCommandLine(u"\"" + machine_.CurrentProcess().image + u"\"" +
                                   (args_.empty() ? u"" : u" " + args_));
  }
  // Moves the program's executable (and its command line) to another path.
  void MoveProgramTo(std::u16string_view exe) {
    machine_.CurrentProcess().image = std::u16string(exe);
    SetArgs(args_);
  }
  // Runs the program's entry as the process would; the end of the process is not an error.
  void RunMain() {
    try {
      Main();
    } catch (const platform::ProcessExit&) {
    }
  }

  // Every trace record of the procedure with this name, in order of entry.
  static std::vector<const debug::AppProc*> CallsIn(const Context& ctx, std::u16string_view name) {
    std::vector<const debug::AppProc*> out;
    for (const debug::AppProc* p : AllCalls(ctx))
      if (p->ProcName() == name) out.push_back(p);
    return out;
  }
  // Every trace record of the run, in order of entry.
  static std::vector<const debug::AppProc*> AllCalls(const Context& ctx) {
    std::vector<const debug::AppProc*> out;
    const auto& procs = ctx.debug->procs;
    for (std::size_t i = 0; i < procs.size(); ++i) out.push_back(&procs[i]);
    return out;
  }
  std::vector<const debug::AppProc*> Calls(std::u16string_view name) const {
    return CallsIn(ctx_, name);
  }
  // The argument list of the only call of `name` ("" when it ran other than exactly once).
  std::u16string ArgsOfOnlyCall(std::u16string_view name) const {
    auto calls = Calls(name);
    return calls.size() == 1 ? std::u16string(calls[0]->Vars_Passed_ByVal()) : u"<not once>";
  }
  // An argument list as the trace record keeps it: items joined by the list separator.
  static std::u16string List(std::initializer_list<std::u16string_view> items) {
    std::u16string out;
    for (auto item : items) {
      if (!out.empty()) out += debug::VarSeparator();
      out += item;
    }
    return out;
  }
  static bool Contains(std::u16string_view hay, std::u16string_view needle) {
    return hay.find(needle) != std::u16string_view::npos;
  }
  bool LogHas(std::u16string_view text) const { return Contains(debug::DebugLogText(), text); }

  sim::Machine machine_;
  Context ctx_{machine_.platform()};
  ContextScope scope_{ctx_};
  std::u16string args_;
};

}  // namespace kes::startup_tests
