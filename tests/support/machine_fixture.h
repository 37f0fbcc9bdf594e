// The one fixture of the unit tests: a fresh simulated machine with a context over it made
// current, as a process of the program would have, plus the ways to start the program as
// Windows or the user would and to read what it did: the debug log, the trace records and
// their argument lists, and what it left of a Safe Mode configuration on the machine.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/main.h"
#include "app/safeboot.h"
#include "framework/debug/trace_record.h"
#include "framework/debug/tracing.h"
#include "framework/debug/tracing_state.h"
#include "framework/env/context.h"
#include "framework/env/environment.h"
#include "framework/env/startup.h"
#include "platform/base/u16.h"
#include "platform/sim/bcd_store.h"
#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/version_profiles.h"

namespace kes {

// ---- the debug log ----------------------------------------------------------------------------

inline bool LogHas(std::u16string_view text) {
  return debug::DebugLogText().find(text) != std::u16string::npos;
}
inline bool LogHas(std::string_view utf8) {
  return Utf8(debug::DebugLogText()).find(utf8) != std::string::npos;
}
inline std::string Log() {
  return Utf8(debug::DebugLogText());
}
// How often `text` occurs in the debug log from character `from` on.
inline int LogCount(std::u16string_view text, std::size_t from = 0) {
  const std::u16string log = debug::DebugLogText();
  int n = 0;
  for (std::size_t at = log.find(text, from); at != std::u16string::npos;
       at = log.find(text, at + text.size()))
    ++n;
  return n;
}

// The UTF-16LE bytes of `text` (spelt out here, not taken from the code under test).
inline std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text) {
  std::vector<std::uint8_t> out;
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

// ---- trace records ------------------------------------------------------------------------------

// Every trace record of a run whose procedure has one of these names (all when none is given),
// in order of entry.
template <class Names = std::initializer_list<std::u16string_view>>
std::vector<const debug::AppProc*> Calls(const Context& ctx, const Names& names = {}) {
  std::vector<const debug::AppProc*> out;
  const auto& procs = ctx.debug->procs;
  for (std::size_t i = 0; i < procs.size(); ++i) {
    bool wanted = std::empty(names);
    for (const auto& name : names) wanted = wanted || procs[i].ProcName() == name;
    if (wanted) out.push_back(&procs[i]);
  }
  return out;
}
// The procedure names of those records.
template <class Names = std::initializer_list<std::u16string_view>>
std::vector<std::u16string> ProcsRun(const Context& ctx, const Names& names = {}) {
  std::vector<std::u16string> out;
  for (const debug::AppProc* p : Calls(ctx, names)) out.push_back(p->ProcName());
  return out;
}
// One item ("sValueName") of a record's argument list, as its text ("" when absent).
inline std::u16string Field(std::u16string_view list, std::u16string_view name) {
  const std::u16string sep = debug::VarSeparator();
  for (std::size_t at = 0; at < list.size();) {
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
// An argument list as a record keeps it: the items joined by the list separator.
inline std::u16string ArgList(std::initializer_list<std::u16string_view> items) {
  std::u16string out;
  for (auto item : items) out += (out.empty() ? u"" : debug::VarSeparator()) + std::u16string(item);
  return out;
}

// ---- processes ------------------------------------------------------------------------------

// The command line of the program started with this argument text.
inline std::u16string ProgramCommandLine(sim::Machine& m, std::u16string_view args) {
  return u"\"" + m.CurrentProcess().image + u"\"" + (args.empty() ? u"" : u" ") +
         std::u16string(args);
}
// Runs the program as a new process of `m` with this whole command line, in a context of its
// own; the end of the process is not an error. `inspect` sees that context when the run ends.
inline void RunProgram(sim::Machine& m, std::u16string_view command_line,
                       const std::function<void(const Context&)>& inspect = {}) {
  Context run(m.platform());
  ContextScope scope(run);
  m.SetProgramCommandLine(std::u16string(command_line));
  try {
    Main();
  } catch (const platform::ProcessExit&) {
  }
  if (inspect) inspect(run);
}
// The command lines of the processes the program itself started, in order (not what those
// started in turn, such as the net.exe behind "cmd.exe /c net ...").
inline std::vector<std::u16string> StartedByProgram(const sim::Machine& m) {
  std::vector<std::u16string> out;
  for (const sim::SimProcess& p : m.processes)
    if (p.parent_pid == m.current_pid) out.push_back(p.command_line);
  return out;
}

// A program file whose process exits with `code` and keeps running `run_ms` after its start.
inline void AddTool(sim::Machine& m, const std::u16string& path, platform::DWORD code,
                    std::uint32_t run_ms = 0) {
  m.fs().AddFile(path, std::string_view("MZ"));
  m.AddProgram(
      path, [code](sim::Machine&, const std::u16string&) { return code; }, run_ms);
}
// The newest process started with a command line containing `part`; nullptr when none was.
inline const sim::SimProcess* Started(const sim::Machine& m, std::u16string_view part) {
  for (auto it = m.processes.rbegin(); it != m.processes.rend(); ++it)
    if (it->command_line.find(part) != std::u16string::npos) return &*it;
  return nullptr;
}
// CreateProcessW as a plain caller uses it, its handles closed at once: the new process ID, or
// 0 with Windows' error in `error`.
inline platform::DWORD StartProcess(sim::Machine& m, std::u16string command_line,
                                    platform::DWORD* error) {
  platform::STARTUPINFOW si;
  platform::PROCESS_INFORMATION pi;
  if (!m.platform().proc.CreateProcessW(nullptr, command_line.data(), 0, nullptr, &si, &pi)) {
    *error = m.last_error;
    return 0;
  }
  m.platform().sys.CloseHandle(pi.hThread);
  m.platform().sys.CloseHandle(pi.hProcess);
  return pi.dwProcessId;
}

// ---- what a Safe Mode configuration leaves on the machine ---------------------------------

inline constexpr platform::HKEY kHKLM = platform::kHKEY_LOCAL_MACHINE;
inline constexpr char16_t kOwnKey[] = u"SOFTWARE\\Quorlen\\Kestrune";
inline constexpr char16_t kEntryValue[] = u"*Quorlen Kestrune Mod";
inline constexpr char16_t kEntryData[] =
    u"cmd /d /c start \"\" \"C:\\Tools\\Kestrune.exe\" /Remove";
inline constexpr char16_t kAutorunData[] = u"\"C:\\Tools\\Kestrune.exe\" /undo";
inline constexpr char16_t kMarker[] = u"C:\\Windows\\kestrune.cmd";

// What the program asks on the boot after a configuration, and its reminder after No when the
// command prompt is the shell.
inline constexpr char16_t kNextBootPrompt[] =
    u"您是否要将下一次的 Windows 重启配置为 \"正常模式\"?\r\n\r\n"
    u"选择 \"否\" 继续 \"安全模式\" 配置, 或点击\"取消\"取消所有选项选择.";
inline constexpr char16_t kReminder[] =
    u"请记住:  您可以使用 Windows 内部命令 (例如 'shutdown -r -t 0') 或 \"kestrune /reboot\" "
    u"重新启动 Windows, 使用 \"kestrune /normal\" 命令直接重新启动到 \"正常模式\", "
    u"或简单的输入适用于所有选项的 \"kestrune\".";

inline std::optional<std::u16string> RunOnceEntry(sim::Machine& m) {
  return m.registry().GetString(kHKLM, kRunOnceKey, kEntryValue);
}
inline std::optional<std::u16string> Autorun(sim::Machine& m) {
  return m.registry().GetString(kHKLM, kCommandProcessorKey, u"Autorun");
}
// The Safe Mode variant the main window records for the boot after a configuration.
inline std::optional<platform::DWORD> BootModeValue(sim::Machine& m) {
  return m.registry().GetDword(kHKLM, kOwnKey, u"BootMode");
}
inline void SetBootModeValue(sim::Machine& m, platform::DWORD mode) {
  m.registry().SetDword(kHKLM, kOwnKey, u"BootMode", mode);
}
inline std::optional<std::u16string> SafeBoot(sim::Machine& m) {
  return m.bcd().Get(u"{current}", u"safeboot");
}
// A 32-bit Windows 10: one registry view and one System32, so that the traces of the Safe Mode
// roads show their steps without the WOW64 redirection around each of them. Start-up tells
// WOW64 apart by itself (IsWow64Process, PROCESSOR_ARCHITEW6432 where that cannot answer); the
// 64-bit road is played on the version profiles.
inline void MakeThirtyTwoBit(sim::Machine& m) {
  m.facts.is_64bit = false;
}

// ---- the fixture ------------------------------------------------------------------------------

class MachineTest : public ::testing::Test {
 protected:
  MachineTest() { debug::InitDebugModuleVars(); }

  // Makes the machine this Windows release booted in `mode`; before Start().
  void Use(std::string_view profile, sim::BootMode mode = sim::BootMode::kNormal) {
    ASSERT_TRUE(sim::ApplyVersionProfile(m, profile, mode)) << profile;
  }
  // Starts the framework as the program does before it dispatches; what start-up itself
  // started is forgotten so that only the procedures under test show.
  void Start() {
    InitApp(false, u"");
    m.started_command_lines.clear();
    std::erase_if(m.processes,
                  [&](const sim::SimProcess& p) { return p.parent_pid == m.current_pid; });
  }
  // The facts start-up finds on the default machine (64-bit Windows, the program a 32-bit
  // process), for procedures tested without start-up, and a verbose log.
  AppEnv& StartupFacts() {
    debug::SetDebugLogVerbose(true);
    ctx.env = std::make_unique<AppEnv>();
    AppEnv& e = *ctx.env;
    e.g_Win64bit = e.Win64bit = true;
    e.Dir_Windows = u"C:\\Windows";
    e.DirBS_Windows = u"C:\\Windows\\";
    e.Dir_System32 = u"C:\\Windows\\System32";
    e.DirBS_System32 = u"C:\\Windows\\System32\\";
    e.SystemDriveBS = u"C:\\";
    e.UserDirBS_CurrentUser_Temp = u"C:\\Users\\Admin\\AppData\\Local\\Temp\\";
    return e;
  }
  AppEnv& Env() { return *ctx.env; }

  // Runs the program's entry in this test's context, started with this argument text.
  void RunMain(std::u16string_view args) {
    m.SetProgramCommandLine(ProgramCommandLine(m, args));
    try {
      Main();
    } catch (const platform::ProcessExit&) {
    }
  }
  // Runs the program as a new process started with this argument text.
  void Run(std::u16string_view args) { RunProgram(m, ProgramCommandLine(m, args)); }

  std::vector<const debug::AppProc*> Calls(std::initializer_list<std::u16string_view> names) const {
    return kes::Calls(ctx, names);
  }
  std::vector<const debug::AppProc*> Calls(std::u16string_view name) const {
    return kes::Calls(ctx, {name});
  }
  // The trace record of the procedure with this ID.
  const debug::AppProc& Record(std::int32_t id) const {
    return ctx.debug->procs.at(static_cast<std::size_t>(id - 1));
  }
  // The argument list of the only call of `name` ("<not once>" otherwise).
  std::u16string ArgsOfOnlyCall(std::u16string_view name) const {
    const auto calls = Calls(name);
    return calls.size() == 1 ? std::u16string(calls[0]->Vars_Passed_ByVal()) : u"<not once>";
  }
  std::vector<std::u16string> StartedByProgram() const { return kes::StartedByProgram(m); }

  sim::Machine m;
  Context ctx{m.platform()};
  ContextScope scope{ctx};
};

}  // namespace kes
