// Shared set-up of the restart, logoff and account tests: a fresh simulated machine made into
// one Windows release and boot mode, a fresh context over it with start-up run (so the program
// sees the facts it would see), and a look into the trace records and the debug log.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/main.h"
#include "framework/debug/trace_record.h"
#include "framework/debug/tracing.h"
#include "framework/debug/tracing_state.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/env/startup.h"
#include "platform/sim/accounts.h"
#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/version_profiles.h"

namespace kes::session_tests {

class SessionTest : public ::testing::Test {
 protected:
  // Makes the machine the given release booted in `mode`; call before Start().
  void Use(std::string_view profile, sim::BootMode mode = sim::BootMode::kNormal) {
    ASSERT_TRUE(sim::ApplyVersionProfile(m, profile, mode)) << profile;
  }
  // Runs start-up in a fresh context, as the program's process would begin.
  void Start() {
    ctx_ = std::make_unique<Context>(m.platform());
    scope_ = std::make_unique<ContextScope>(*ctx_);
    InitApp(false, u"");
    // Only what the procedures under test do from here on counts.
    m.started_command_lines.clear();
    m.processes.erase(
        std::remove_if(m.processes.begin(), m.processes.end(),
                       [&](const sim::SimProcess& p) { return p.parent_pid == m.current_pid; }),
        m.processes.end());
  }
  AppEnv& env() { return *ctx_->env; }

  // Runs the program as a new process with this argument text, in a context of its own, the
  // way the user or a script would start it; the end of the process is not an error.
  void RunProgram(std::u16string_view args) {
    Context run(m.platform());
    ContextScope scope(run);
    m.SetProgramCommandLine(u"\"" + m.CurrentProcess().image + u"\" " + std::u16string(args));
    try {
      Main();
    } catch (const platform::ProcessExit&) {
    }
  }

  // Every trace record of the procedures with these names, in order of entry.
  std::vector<const debug::AppProc*> Calls(std::initializer_list<std::u16string_view> names) const {
    std::vector<const debug::AppProc*> out;
    const auto& procs = ctx_->debug->procs;
    for (std::size_t i = 0; i < procs.size(); ++i) {
      for (std::u16string_view name : names)
        if (procs[i].ProcName() == name) out.push_back(&procs[i]);
    }
    return out;
  }
  std::vector<const debug::AppProc*> Calls(std::u16string_view name) const { return Calls({name}); }
  // One field ("sValueName") of a trace record's argument list, as its text ("" when absent).
  static std::u16string Field(std::u16string_view list, std::u16string_view name) {
    const std::u16string sep = debug::VarSeparator();
    std::size_t at = 0;
    while (at < list.size()) {
      std::size_t end = list.find(sep, at);
      if (end == std::u16string_view::npos) end = list.size();
      const std::u16string_view item = list.substr(at, end - at);
      if (item.starts_with(std::u16string(name) + u".")) {
        const std::size_t eq = item.find(u'=');
        return std::u16string(eq == std::u16string_view::npos ? u"" : item.substr(eq + 1));
      }
      at = end + sep.size();
    }
    return u"";
  }
  // The argument list of the only call of `name`; "<not once>" otherwise.
  std::u16string ArgsOfOnlyCall(std::u16string_view name) const {
    const auto calls = Calls(name);
    return calls.size() == 1 ? std::u16string(calls[0]->Vars_Passed_ByVal()) : u"<not once>";
  }
  // The command lines of the processes the program itself started, in order (not what those
  // started in turn, such as the net.exe behind "cmd.exe /c net ...").
  static std::vector<std::u16string> StartedByProgram(const sim::Machine& machine) {
    std::vector<std::u16string> out;
    for (const sim::SimProcess& p : machine.processes)
      if (p.parent_pid == machine.current_pid) out.push_back(p.command_line);
    return out;
  }
  std::vector<std::u16string> StartedByProgram() const { return StartedByProgram(m); }
  static bool LogHas(std::u16string_view text) {
    return debug::DebugLogText().find(text) != std::u16string::npos;
  }

  sim::Machine m;

 private:
  std::unique_ptr<Context> ctx_;
  std::unique_ptr<ContextScope> scope_;
};

}  // namespace kes::session_tests
