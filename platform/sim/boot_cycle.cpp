#include "platform/sim/boot_cycle.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/base/u16.h"
#include "platform/sim/bcd_store.h"
#include "platform/sim/file_system.h"
#include "platform/sim/processes.h"
#include "platform/sim/profile_text.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/version_profiles.h"

namespace kes::sim {
namespace {

constexpr DWORD kExplorerPid = 3120;
constexpr char16_t kRunOnceKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char16_t kRunOnceKey32[] =
    u"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char16_t kCommandProcessorKey[] = u"SOFTWARE\\Microsoft\\Command Processor";
constexpr char16_t kSafeBootKey[] = u"SYSTEM\\CurrentControlSet\\Control\\SafeBoot";

// Runs one command line as a child of the current process and waits for it; false when it
// could not be started.
bool RunChild(Machine& m, const std::u16string& command_line) {
  LaunchRequest req;
  req.command_line = command_line;
  DWORD error = 0;
  const DWORD pid = LaunchProcess(m, req, &error);
  if (pid == 0) return false;
  WaitForChild(m, pid);
  return true;
}

void ProcessRunOnce(Machine& m, const std::u16string& key, bool safe_mode, BootReport& report) {
  RegistryStore& reg = m.registry();
  for (const std::u16string& name : reg.ValueNames(platform::kHKEY_LOCAL_MACHINE, key)) {
    if (safe_mode && !name.starts_with(u"*")) continue;  // kept for the next normal boot
    const std::optional<std::u16string> command =
        reg.GetString(platform::kHKEY_LOCAL_MACHINE, key, name);
    const bool delete_after = name.starts_with(u"!");
    if (!delete_after) reg.DeleteValue(platform::kHKEY_LOCAL_MACHINE, key, name);
    if (command && !command->empty()) {
      report.run_once.push_back(*command);
      RunChild(m, *command);
    }
    if (delete_after) reg.DeleteValue(platform::kHKEY_LOCAL_MACHINE, key, name);
  }
}

// What the switches of a boot.ini entry (after its quoted menu text) start.
BootChoice FromBootIniEntry(std::u16string_view value) {
  BootChoice choice;
  std::size_t from = 0;
  if (value.starts_with(u'"')) {
    const std::size_t close = value.find(u'"', 1);
    from = close == std::u16string_view::npos ? value.size() : close + 1;
  }
  const std::u16string options = LowerCase(value.substr(from));
  constexpr std::u16string_view kSafeBoot = u"/safeboot:";
  const std::size_t at = options.find(kSafeBoot);
  if (at == std::u16string::npos) return choice;
  std::size_t end = at + kSafeBoot.size();
  while (end < options.size() && options[end] != u' ' && options[end] != u'\t' &&
         options[end] != u'/')
    ++end;
  const std::u16string_view kind =
      std::u16string_view(options).substr(at + kSafeBoot.size(), end - at - kSafeBoot.size());
  if (kind == u"minimal" || kind == u"minimal(alternateshell)") choice.clean_boot = 1;
  if (kind == u"network") choice.clean_boot = 2;
  choice.alternate_shell = kind == u"minimal(alternateshell)";
  return choice;
}

}  // namespace

bool BootsFromBootIni(const Machine& m) {
  return m.facts.version.dwPlatformId == 2 && m.facts.version.dwMajorVersion < 6;
}

BootChoice NextBootChoice(Machine& m) {
  if (!BootsFromBootIni(m)) return {m.bcd().NextCleanBoot(), m.bcd().NextBootAlternateShell()};
  const std::u16string file = m.facts.windows_dir.substr(0, 2) + u"\\boot.ini";
  const auto data = m.fs().ReadFile(file);
  if (!data) return {};
  const auto loader = ProfileSection(*data, m.ansi_code_page, u"boot loader");
  std::u16string default_path;
  for (const auto& [name, value] : loader) {
    if (EqualsNoCase(name, u"default")) {
      default_path = value;
      break;
    }
  }
  const auto systems = ProfileSection(*data, m.ansi_code_page, u"operating systems");
  if (systems.empty()) return {};
  for (const auto& [path, value] : systems)
    if (EqualsNoCase(path, default_path)) return FromBootIniEntry(value);
  return FromBootIniEntry(systems.front().second);
}

BootReport Restart(Machine& m) {
  BootReport report;
  const DWORD program_pid = m.current_pid;
  const std::u16string program_image = m.CurrentProcess().image;

  // Every process of the old session ends.
  std::erase_if(m.processes, [](const SimProcess& p) { return p.pid != 0 && p.pid != 4; });

  const BootChoice choice = NextBootChoice(m);
  report.clean_boot = choice.clean_boot;
  const bool alternate_shell = choice.alternate_shell;
  SetBootMode(m, static_cast<BootMode>(report.clean_boot));

  // The program, wherever something starts it, runs through the test's hook.
  m.AddProgram(
      program_image,
      [&report](Machine& mm, const std::u16string& command_line) -> DWORD {
        report.kestrune_runs.push_back(command_line);
        if (mm.run_kestrune) mm.run_kestrune(mm, command_line);
        return 0;
      },
      0);

  const std::u16string win = m.facts.windows_dir;
  if (alternate_shell) {
    report.shell = m.registry()
                       .GetString(platform::kHKEY_LOCAL_MACHINE, kSafeBootKey, u"AlternateShell")
                       .value_or(u"cmd.exe");
    m.current_pid = 4;
    LaunchRequest req;
    req.command_line = report.shell;
    DWORD error = 0;
    // cmd.exe as the shell runs the command processor's start hook before its first prompt.
    if (EqualsNoCase(report.shell, u"cmd.exe")) {
      report.autorun =
          m.registry()
              .GetString(platform::kHKEY_LOCAL_MACHINE, kCommandProcessorKey, u"Autorun")
              .value_or(u"");
    }
    LaunchProcess(m, req, &error);
  } else {
    report.shell = win + u"\\Explorer.EXE";
    SimProcess explorer;
    explorer.pid = kExplorerPid;
    explorer.image = win + u"\\explorer.exe";
    explorer.command_line = report.shell;
    explorer.is_32bit = !m.facts.is_64bit;  // the shell is native
    m.processes.push_back(std::move(explorer));
    m.current_pid = kExplorerPid;
    ProcessRunOnce(m, kRunOnceKey, report.clean_boot != 0, report);
    if (m.facts.is_64bit) ProcessRunOnce(m, kRunOnceKey32, report.clean_boot != 0, report);
  }

  // Back to the program's own (not yet started) record, so tests can start it again.
  m.current_pid = program_pid;
  std::erase_if(m.processes, [&](const SimProcess& p) { return p.pid == program_pid; });
  SimProcess program;
  program.pid = program_pid;
  program.parent_pid = kExplorerPid;
  program.image = program_image;
  program.command_line = u"\"" + program_image + u"\"";
  m.processes.push_back(std::move(program));
  m.programs.erase(LowerCase(program_image));
  return report;
}

}  // namespace kes::sim
