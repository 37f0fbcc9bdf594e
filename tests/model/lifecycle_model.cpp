#include "tests/model/lifecycle_model.h"

#include <algorithm>
#include <exception>
#include <map>
#include <set>
#include <utility>

#include "app/accounts.h"
#include "app/dispatch.h"
#include "app/main.h"
#include "app/main_window.h"
#include "app/safeboot.h"
#include "framework/debug/log_file.h"
#include "framework/debug/tracing.h"
#include "framework/debug/tracing_state.h"
#include "framework/env/context.h"
#include "platform/base/u16.h"
#include "platform/sim/accounts.h"
#include "platform/sim/bcd_store.h"
#include "platform/sim/boot_cycle.h"
#include "platform/sim/file_system.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/version_profiles.h"

namespace kes::lifecycle_model {
namespace {

using platform::kHKEY_LOCAL_MACHINE;

constexpr char16_t kProgram[] = u"C:\\Tools\\Kestrune.exe";
constexpr char16_t kBootIniPath[] = u"C:\\boot.ini";
constexpr char16_t kRunOnceKey32[] =
    u"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
// The exit code the killed program is reported with (what a power cut leaves is no code).
constexpr std::uint32_t kKilled = 0xDEAD;

// The power went while no program of ours ran (in the boot itself): nothing runs any more, so
// this is thrown past everything the simulated Windows would catch.
struct PowerCut {};

// Collects the bytes of a state and hashes them once.
class Hasher {
 public:
  void Bytes(const void* data, std::size_t size) {
    buffer_.append(static_cast<const char*>(data), size);
  }
  void Text(std::u16string_view s) {
    Number(s.size());
    Bytes(s.data(), s.size() * sizeof(char16_t));
  }
  void Number(std::uint64_t n) { Bytes(&n, sizeof n); }
  std::uint64_t value() const { return std::hash<std::string_view>()(buffer_); }

 private:
  std::string buffer_;
};

// Keys (folded paths below HKLM) that decide nothing the program or the simulated boot does
// next: the driver lists of the Safe Mode boots (the repair rewrites them, nothing here reads
// them), and the sign-in settings account preparation writes (the simulated boot signs nobody
// in). Leaving them out keeps states apart only where they behave apart.
bool IrrelevantKey(std::u16string_view path) {
  static const std::set<std::u16string_view> kKeys = {
      u"\\SYSTEM\\CURRENTCONTROLSET\\CONTROL\\SAFEBOOT\\MINIMAL",
      u"\\SYSTEM\\CURRENTCONTROLSET\\CONTROL\\SAFEBOOT\\NETWORK",
      u"\\SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\WINLOGON",
      u"\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\POLICIES\\SYSTEM",
      u"\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\AUTHENTICATION\\LOGONUI\\USERSWITCH",
      u"\\SOFTWARE\\WOW6432NODE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\WINLOGON",
      u"\\SOFTWARE\\WOW6432NODE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\POLICIES\\SYSTEM",
  };
  return kKeys.contains(path);
}

// `folded_name` is the key's name as its parent files it (letter case folded), `path` the
// folded path of the key below its hive.
void FeedKey(Hasher& f, std::u16string_view folded_name, const std::u16string& path,
             const sim::RegKey& key) {
  f.Text(folded_name);
  f.Number(key.values.size());
  // Values in name order: a value deleted and written again is the same state.
  std::vector<std::pair<std::u16string, const sim::RegValue*>> values;
  values.reserve(key.values.size());
  for (const sim::RegValue& v : key.values) values.emplace_back(sim::FoldName(v.name), &v);
  std::sort(values.begin(), values.end());
  for (const auto& [name, v] : values) {
    f.Text(name);
    f.Number(v->type);
    f.Number(v->data.size());
    f.Bytes(v->data.data(), v->data.size());
  }
  f.Number(key.subkeys.size());
  for (const auto& [name, sub] : key.subkeys) {
    const std::u16string sub_path = path + u"\\" + name;
    if (!IrrelevantKey(sub_path)) FeedKey(f, name, sub_path, *sub);
  }
}

// The program's own log (Kestrune\Logs in the common application data folder: ProgramData, or
// All Users\Application Data before Vista) grows with every run and is no part of what the
// program configures; nor are the framework's scratch files ("qzt" + a unique number +
// ".tmp", made to probe write access and deleted at once), which nothing reads again and which a
// cut may leave behind.
bool Ignored(const sim::FsNode& folder, const sim::FsNode& child) {
  if (child.is_dir)
    return EqualsNoCase(child.name, u"Kestrune") &&
           (EqualsNoCase(folder.name, u"ProgramData") ||
            EqualsNoCase(folder.name, u"Application Data"));
  const std::u16string_view name = child.name;
  return name.size() > 7 && EqualsNoCase(name.substr(0, 3), u"qzt") &&
         EqualsNoCase(name.substr(name.size() - 4), u".tmp");
}

// `folded_name` is the node's name as its folder files it (letter case folded).
void FeedNode(Hasher& f, std::u16string_view folded_name, const sim::FsNode& node) {
  f.Text(folded_name);
  f.Number(node.is_dir);
  f.Number(node.attributes);
  f.Number(node.data.size());
  f.Bytes(node.data.data(), node.data.size());
  // An ignored child leaves no trace, its place in the count of children included.
  std::size_t counted = 0;
  for (const auto& [name, child] : node.children) counted += !Ignored(node, *child);
  f.Number(counted);
  for (const auto& [name, child] : node.children) {
    if (!Ignored(node, *child)) FeedNode(f, name, *child);
  }
}

// True when the command runs the program with `sw` (letter case ignored).
bool RunsProgramWith(std::u16string_view command, std::u16string_view sw) {
  const std::u16string c = LowerCase(command);
  return c.find(LowerCase(kProgram)) != std::u16string::npos && c.ends_with(LowerCase(sw));
}

// Runs the program as a new process with this whole command line, in a context of its own.
void RunProgram(sim::Machine& m, const std::u16string& command_line) {
  Context ctx(m.platform());
  ContextScope scope(ctx);
  m.SetProgramCommandLine(command_line);
  Main();
}

// The calls a dying process still makes while it unwinds (closing keys, switching redirection
// back) cannot be stopped: a destructor may not throw. The power goes at the next other call,
// which sees the same persistent state.
bool CalledWhileClosing(std::string_view api) {
  return api == "RegCloseKey" || api == "Wow64RevertWow64FsRedirection" || api == "NtClose" ||
         api == "CloseHandle" || api == "FindClose";
}

// Calls that leave registry, files, boot store and accounts as they were: the state at the next
// call's entry is the state at this one's. Anything not listed counts as a change.
bool LeavesStateAlone(std::string_view api) {
  static const std::set<std::string_view> kReadOnly = {"AdjustTokenPrivileges",
                                                       "AllocateAndInitializeSid",
                                                       "CheckTokenMembership",
                                                       "CloseHandle",
                                                       "CreateWindowExW",
                                                       "ExitWindowsEx",
                                                       "FileTimeToSystemTime",
                                                       "FindClose",
                                                       "FindFirstFileW",
                                                       "FindNextFileW",
                                                       "FindResourceW",
                                                       "FormatMessageW",
                                                       "FreeLibrary",
                                                       "FreeSid",
                                                       "GetACP",
                                                       "GetCommandLineW",
                                                       "GetComputerNameExW",
                                                       "GetCurrentDirectoryW",
                                                       "GetCurrentProcessId",
                                                       "GetDefaultUserProfileDirectoryW",
                                                       "GetDesktopWindow",
                                                       "GetDriveTypeW",
                                                       "GetEnvironmentVariableW",
                                                       "GetExitCodeProcess",
                                                       "GetFileAttributesExW",
                                                       "GetFileAttributesW",
                                                       "GetFileSizeEx",
                                                       "GetFileVersionInfoSizeW",
                                                       "GetFileVersionInfoW",
                                                       "GetFullPathNameW",
                                                       "GetLocalTime",
                                                       "GetLongPathNameW",
                                                       "GetMessageW",
                                                       "GetModuleFileNameW",
                                                       "GetModuleHandleW",
                                                       "GetProcAddress",
                                                       "GetProductInfo",
                                                       "GetProfilesDirectoryW",
                                                       "GetShortPathNameW",
                                                       "GetSystemDirectoryW",
                                                       "GetSystemInfo",
                                                       "GetSystemMetrics",
                                                       "GetSystemTime",
                                                       "GetTempPathW",
                                                       "GetUserNameW",
                                                       "GetVolumeInformationW",
                                                       "GetWindow",
                                                       "GetWindowsDirectoryW",
                                                       "InitCommonControls",
                                                       "InstallProcessorFaultTranslator",
                                                       "IsUserAnAdmin",
                                                       "IsWow64Process",
                                                       "LoadImageA",
                                                       "LoadLibraryW",
                                                       "LoadResource",
                                                       "LocalFileTimeToFileTime",
                                                       "LockResource",
                                                       "LookupPrivilegeValueA",
                                                       "MessageBoxW",
                                                       "MsgWaitForMultipleObjects",
                                                       "NetApiBufferFree",
                                                       "NetUserGetInfo",
                                                       "NtClose",
                                                       "OpenProcess",
                                                       "OpenProcessToken",
                                                       "OutputDebugStringW",
                                                       "PathGetArgsW",
                                                       "PathIsDirectoryW",
                                                       "PathMatchSpecW",
                                                       "PumpPendingMessages",
                                                       "ReadFile",
                                                       "RegCloseKey",
                                                       "RegEnumKeyExW",
                                                       "RegEnumValueW",
                                                       "RegOpenKeyExW",
                                                       "RegQueryValueExW",
                                                       "RtlGetVersion",
                                                       "SHGetFolderPathW",
                                                       "SendMessageW",
                                                       "SetCurrentDirectoryW",
                                                       "SetFilePointerEx",
                                                       "SizeofResource",
                                                       "Sleep",
                                                       "SystemTimeToFileTime",
                                                       "VerQueryValueW",
                                                       "WNetGetConnectionW",
                                                       "WaitForInputIdle",
                                                       "WaitForSingleObject",
                                                       "Wow64DisableWow64FsRedirection",
                                                       "Wow64RevertWow64FsRedirection",
                                                       "timeGetTime"};
  return kReadOnly.contains(api);
}

// The traced procedures open at each call of the running program, kept from its trace
// records (entered in order, nested, each closed by an exit event), to name where a call is
// made: the chain of open procedures (each with its ordinal among its parent's calls of the
// same name) and the call's ordinal within the innermost one.
class CallSites {
 public:
  void Update(const debug::ProcRegistry& procs) {
    for (; scanned_ < procs.size(); ++scanned_) {
      PopExited(procs);
      const std::string name = Utf8(procs[scanned_].ProcName());
      entered_.insert(name);
      Frame& parent = stack_.empty() ? root_ : stack_.back();
      const int ordinal = ++parent.children[name];
      stack_.push_back(Frame{scanned_, (stack_.empty() ? "" : stack_.back().label + ">") + name +
                                           "[" + std::to_string(ordinal) + "]"});
    }
    PopExited(procs);
  }
  bool Entered(std::u16string_view name) const { return entered_.contains(Utf8(name)); }
  std::string Site(const char* api) {
    Frame& top = stack_.empty() ? root_ : stack_.back();
    return top.label + "|" + api + "#" + std::to_string(++top.calls[api]);
  }

 private:
  struct Frame {
    std::size_t index = 0;
    std::string label;
    std::map<std::string, int> children;
    std::map<std::string, int> calls;
  };
  void PopExited(const debug::ProcRegistry& procs) {
    while (!stack_.empty() &&
           procs[stack_.back().index].EventCount_By_EventType(debug::Event_ProcExit) > 0) {
      stack_.pop_back();
    }
  }
  std::size_t scanned_ = 0;
  std::vector<Frame> stack_;
  Frame root_;
  std::set<std::string> entered_;
};

// After a step the machine is where a restart would find it: the program's own record back
// and idle, no window, nothing scripted, redirection on.
void Settle(sim::Machine& m, platform::DWORD program_pid) {
  m.after_call = nullptr;
  m.run_kestrune = nullptr;
  m.current_pid = program_pid;
  m.message_box_answers.clear();
  m.window_actions.clear();
  m.fs().redirection_disabled = false;
  m.last_error = 0;  // a new process starts without one
  m.programs.erase(LowerCase(kProgram));
  std::erase_if(m.processes, [&](const sim::SimProcess& p) { return p.parent_pid == program_pid; });
  m.SetProgramCommandLine(u"\"" + std::u16string(kProgram) + u"\"");
}

std::unique_ptr<sim::RegKey> CloneKey(const sim::RegKey& key) {
  auto copy = std::make_unique<sim::RegKey>();
  copy->name = key.name;
  copy->values = key.values;
  copy->deny_changes = key.deny_changes;
  copy->deny_write_open = key.deny_write_open;
  copy->security = key.security;  // never changed in place: a change puts a new one in
  for (const auto& [name, sub] : key.subkeys) copy->subkeys.emplace(name, CloneKey(*sub));
  return copy;
}

std::shared_ptr<sim::FsNode> CloneNode(const sim::FsNode& node) {
  auto copy = std::make_shared<sim::FsNode>(node);
  copy->opens.clear();  // handles die with their process
  for (auto& [name, child] : copy->children) child = CloneNode(*child);
  return copy;
}

constexpr const char16_t* kDrives[] = {u"C:", u"D:", u"X:"};

}  // namespace

Snapshot Take(const sim::Machine& cm) {
  auto& m = const_cast<sim::Machine&>(cm);
  Snapshot s;
  s.digest = Digest(m);
  s.machine_hive = CloneKey(*m.registry().Find(sim::RegPath{sim::RegPath::Hive::kMachine, {}}));
  s.users_hive = CloneKey(*m.registry().Find(sim::RegPath{sim::RegPath::Hive::kUsers, {}}));
  for (const char16_t* drive : kDrives) {
    if (sim::Volume* v = m.fs().FindVolume(drive))
      s.volumes.emplace_back(drive, CloneNode(*v->root_dir));
  }
  s.pending_renames = m.fs().pending_renames;
  s.current_directory = m.fs().current_directory;
  s.bcd = std::make_shared<sim::BcdStore>(m.bcd());
  s.accounts = m.accounts;
  s.local_groups = m.local_groups;
  s.facts = m.facts;
  s.environment = m.environment;
  s.user_name = m.user_name;
  s.token = m.token;
  s.processes = m.processes;
  s.current_pid = m.current_pid;
  s.local_ms = m.local_ms;
  return s;
}

void Restore(sim::Machine& m, const Snapshot& s) {
  *m.registry().Find(sim::RegPath{sim::RegPath::Hive::kMachine, {}}) =
      std::move(*CloneKey(*s.machine_hive));
  *m.registry().Find(sim::RegPath{sim::RegPath::Hive::kUsers, {}}) =
      std::move(*CloneKey(*s.users_hive));
  for (const auto& [drive, root] : s.volumes) m.fs().FindVolume(drive)->root_dir = CloneNode(*root);
  m.fs().pending_renames = s.pending_renames;
  m.fs().redirection_disabled = false;
  m.fs().current_directory = s.current_directory;
  m.last_error = 0;
  m.bcd() = *s.bcd;
  m.accounts = s.accounts;
  m.local_groups = s.local_groups;
  m.facts = s.facts;
  m.environment = s.environment;
  m.user_name = s.user_name;
  m.token = s.token;
  m.processes = s.processes;
  m.current_pid = s.current_pid;
  m.local_ms = s.local_ms;
  m.message_boxes.clear();
  m.started_command_lines.clear();
  m.console_output.clear();
  m.debug_output.clear();
  m.shown_forms.clear();
  m.shutdown_requests.clear();
}

std::uint64_t Digest(const sim::Machine& cm) {
  auto& m = const_cast<sim::Machine&>(cm);
  Hasher f;
  for (auto hive : {sim::RegPath::Hive::kMachine, sim::RegPath::Hive::kUsers}) {
    if (const sim::RegKey* root = m.registry().Find(sim::RegPath{hive, {}}))
      FeedKey(f, u"", u"", *root);
  }
  for (const char16_t* drive : kDrives) {
    if (sim::Volume* v = m.fs().FindVolume(drive)) {
      FeedNode(f, drive, *v->root_dir);
    }
  }
  f.Number(m.fs().pending_renames.size());
  for (const auto& [from, to] : m.fs().pending_renames) {
    f.Text(from);
    f.Text(to);
  }
  // The boot menu policy (the F8 menu) only changes how long the boot menu waits.
  for (const auto& [id, entry] : m.bcd().entries) {
    f.Text(id);
    for (const auto& [name, value] : entry.elements) {
      if (name == u"bootmenupolicy") continue;
      f.Text(name);
      f.Text(value);
    }
  }
  f.Text(m.bcd().default_id);
  for (const auto& [key, a] : m.accounts) {
    f.Text(key);
    f.Text(a.password);
    f.Number(a.disabled);
    f.Number(a.internet_identity);
  }
  for (const auto& [key, g] : m.local_groups) {
    f.Text(key);
    std::vector<std::u16string> members;
    for (const auto& member : g.members) members.push_back(sim::FoldName(member));
    std::sort(members.begin(), members.end());
    for (const auto& member : members) f.Text(member);
  }
  f.Number(static_cast<std::uint64_t>(m.facts.clean_boot));
  f.Text(sim::FoldName(m.user_name));
  return f.value();
}

std::vector<Step> AllSteps(bool win8_or_newer) {
  using sim::WindowAction;
  std::vector<Step> steps;
  for (const char16_t* sw : {u"/safe", u"/safenet", u"/safecmd", u"/safenet-noreboot", u"/normal",
                             u"/remove", u"/reboot", u"/deletetempadminuser"}) {
    steps.push_back({Step::Kind::kSwitch, sw, {}, Utf8(sw)});
  }
  static constexpr const char* kModes[] = {"安全模式", "带网络的安全模式",
                                           "仅带命令提示符的安全模式", "正常模式"};
  for (int mode = 0; mode <= 3; ++mode) {
    for (bool f8 : {false, true}) {
      if (f8 && !win8_or_newer) continue;  // the box is hidden before Windows 8
      for (int button = 0; button <= 1; ++button) {
        Step s{Step::Kind::kWindow, u"", {}, ""};
        s.actions.push_back({WindowAction::Kind::kClick, OptSafeModeId(mode)});
        if (f8) s.actions.push_back({WindowAction::Kind::kClick, kChkEnableF8Menu});
        s.actions.push_back({WindowAction::Kind::kClick, CmdDoId(button)});
        s.label = std::string("window: ") + kModes[mode] + (f8 ? " + F8" : "") +
                  (button == 0 ? " + 重启 Windows" : " + 仅配置");
        steps.push_back(std::move(s));
      }
    }
  }
  if (win8_or_newer) {
    steps.push_back({Step::Kind::kWindow,
                     u"",
                     {{WindowAction::Kind::kMenu, kMenuDisableF8}},
                     "window: menu 禁用 F8 启动键"});
  }
  steps.push_back({Step::Kind::kWindow, u"", {{WindowAction::Kind::kClose, 0}}, "window: close"});
  steps.push_back({Step::Kind::kRestart, u"", {}, "restart"});
  return steps;
}

std::unique_ptr<sim::Machine> MakeMachine(std::string_view profile) {
  auto m = std::make_unique<sim::Machine>();
  const std::string_view version = profile.substr(0, profile.find('/'));
  const std::string_view variant =
      version.size() < profile.size() ? profile.substr(version.size() + 1) : std::string_view();
  if (profile == "win10-msa") {
    sim::ApplyVersionProfile(*m, "win10");
    sim::ConnectMicrosoftAccount(*m, u"Admin", u"someone@outlook.com");
  } else {
    sim::ApplyVersionProfile(*m, version);
  }
  if (variant == "no-final-break") {
    std::vector<std::uint8_t> bytes = *m->fs().ReadFile(kBootIniPath);
    bytes.resize(bytes.size() - 2);
    m->fs().AddFile(kBootIniPath, bytes, m->fs().Attributes(kBootIniPath));
  } else if (variant == "no-boot.ini") {
    m->fs().Remove(kBootIniPath);
  } else if (variant == "locked") {
    m->fs().Lock(kBootIniPath, true);
  }
  return m;
}

bool FailureIsIgnored(std::string_view api) {
  static const std::set<std::string_view> kIgnored = {
      "GetLocalTime", "GetSystemTime", "timeGetTime", "Sleep", "GetACP", "ExitProcess", "FreeSid",
      "OutputDebugStringW", "GetWindow", "InitCommonControls", "PumpPendingMessages",
      "RemoveProcessorFaultTranslator",
      // Freeing a network-management buffer does not fail; a simulated failure would only leak
      // this test's memory.
      "NetApiBufferFree",
      // Windows has no failure result for these: the command line is always there.
      "GetCommandLineW", "PathGetArgsW"};
  return kIgnored.contains(api);
}

platform::DWORD PlausibleError(std::string_view api) {
  if (api == "MessageBoxW" || api == "CreateWindowExW" || api == "LoadImageA") return 8;
  return 5;
}

int NextBoot(const sim::Machine& m) {
  return sim::NextBootChoice(const_cast<sim::Machine&>(m)).clean_boot;
}

bool HookOnNextBoot(const sim::Machine& cm) {
  auto& m = const_cast<sim::Machine&>(cm);
  sim::RegistryStore& reg = m.registry();
  if (sim::NextBootChoice(m).alternate_shell) {
    const auto shell = reg.GetString(kHKEY_LOCAL_MACHINE, kSafeBootKey, u"AlternateShell");
    const auto autorun = reg.GetString(kHKEY_LOCAL_MACHINE, kCommandProcessorKey, u"Autorun");
    return shell && EqualsNoCase(*shell, u"cmd.exe") && autorun &&
           RunsProgramWith(*autorun, u"/undo");
  }
  std::vector<std::u16string> keys = {std::u16string(kRunOnceKey)};
  if (m.facts.is_64bit) keys.push_back(kRunOnceKey32);
  for (const auto& key : keys) {
    for (const auto& name : reg.ValueNames(kHKEY_LOCAL_MACHINE, key)) {
      if (!name.starts_with(u"*")) continue;  // Safe Mode runs only these
      const auto command = reg.GetString(kHKEY_LOCAL_MACHINE, key, name);
      if (command && RunsProgramWith(*command, u"/remove")) return true;
    }
  }
  return false;
}

bool UndoHookPresent(const sim::Machine& cm) {
  auto& m = const_cast<sim::Machine&>(cm);
  sim::RegistryStore& reg = m.registry();
  if (auto autorun = reg.GetString(kHKEY_LOCAL_MACHINE, kCommandProcessorKey, u"Autorun");
      autorun && RunsProgramWith(*autorun, u"/undo"))
    return true;
  for (const auto& name : reg.ValueNames(kHKEY_LOCAL_MACHINE, kRunOnceKey)) {
    const auto command = reg.GetString(kHKEY_LOCAL_MACHINE, kRunOnceKey, name);
    if (command && RunsProgramWith(*command, u"/remove")) return true;
  }
  return false;
}

std::string Leftovers(const sim::Machine& cm) {
  auto& m = const_cast<sim::Machine&>(cm);
  sim::RegistryStore& reg = m.registry();
  std::string out;
  auto add = [&](const std::string& what) { out += (out.empty() ? "" : ", ") + what; };
  if (NextBoot(m) != 0) add("next boot Safe Mode (" + std::to_string(NextBoot(m)) + ")");
  if (m.bcd().Get(u"{default}", u"safebootalternateshell")) add("safebootalternateshell set");
  std::vector<std::u16string> keys = {std::u16string(kRunOnceKey)};
  if (m.facts.is_64bit) keys.push_back(kRunOnceKey32);
  for (const auto& key : keys) {
    for (const auto& name : reg.ValueNames(kHKEY_LOCAL_MACHINE, key)) {
      const auto command = reg.GetString(kHKEY_LOCAL_MACHINE, key, name);
      if (command && RunsProgramWith(*command, u"/remove"))
        add("RunOnce " + Utf8(name) + " = " + Utf8(*command));
    }
  }
  if (auto a = reg.GetString(kHKEY_LOCAL_MACHINE, kCommandProcessorKey, u"Autorun"))
    add("Autorun = " + Utf8(*a));
  if (m.fs().Exists(m.facts.windows_dir + u"\\kestrune.cmd")) add("marker script");
  for (const char16_t* key :
       {u"SOFTWARE\\Quorlen\\Kestrune", u"SOFTWARE\\WOW6432Node\\Quorlen\\Kestrune"}) {
    if (auto mode = reg.GetValue(kHKEY_LOCAL_MACHINE, key, u"BootMode"))
      add("BootMode under " + Utf8(key));
  }
  return out;
}

std::optional<FileImage> BootIni(const sim::Machine& m) {
  const auto node = const_cast<sim::Machine&>(m).fs().Find(kBootIniPath);
  if (!node) return std::nullopt;
  return FileImage{node->data, node->attributes};
}

std::string BootIniLeftovers(const sim::Machine& m, const std::optional<FileImage>& original) {
  if (!sim::BootsFromBootIni(m)) return "";
  std::string out;
  auto add = [&](const std::string& what) { out += (out.empty() ? "" : ", ") + what; };
  const std::optional<FileImage> now = BootIni(m);
  if (now.has_value() != original.has_value()) {
    add(now ? "a boot.ini that was not there" : "boot.ini gone");
  } else if (now && now->bytes != original->bytes) {
    add("boot.ini not as it was");
  } else if (now && now->attributes != 7) {
    add("boot.ini attributes " + std::to_string(now->attributes));
  }
  if (const_cast<sim::Machine&>(m).fs().Exists(u"C:\\boot.Quorlen")) add("boot.ini backup");
  return out;
}

bool TempAdminExists(const sim::Machine& m) {
  return sim::FindAccount(m, kTempAdminUser) != nullptr;
}

bool TempAdminDeletionPending(const sim::Machine& cm) {
  auto& m = const_cast<sim::Machine&>(cm);
  const std::u16string name =
      u"*" + std::u16string(kRunOnceEntryName) + u" (Delete Temp Admin User)";
  const auto command = m.registry().GetString(kHKEY_LOCAL_MACHINE, kRunOnceKey, name);
  return command && RunsProgramWith(*command, u"/deletetempadminuser");
}

StepOutcome PlayStep(sim::Machine& m, const std::vector<Step>& steps, const StepRun& run,
                     bool record) {
  const Step& step = steps.at(static_cast<std::size_t>(run.step));
  const platform::DWORD program_pid = m.current_pid;
  StepOutcome out;
  m.message_boxes.clear();
  m.message_box_answers.assign(run.answers.begin(), run.answers.end());
  if (step.kind == Step::Kind::kWindow)
    m.window_actions.assign(step.actions.begin(), step.actions.end());
  const int fault_at = run.fault ? m.CallCount(run.fault->api) + run.fault->nth : 0;
  if (run.fault) m.InjectFault(run.fault->api, run.fault->error, fault_at);
  const int allocations_before = m.security_allocations;
  int gate = 0;
  bool dead = false;
  int depth = 0;        // how many of our programs are running (a restart nests them)
  bool changed = true;  // the state may differ from the last digest taken
  std::uint64_t digest = 0;
  bool started = false;  // the running program is past its start-up
  CallSites sites;       // where in the running program each call is made
  bool was_in_log = false;
  std::map<std::string, int> log_calls;  // calls of the current append to the log file
  m.after_call = [&](const char* api) {
    ++gate;
    if (!dead) {
      std::string site = "windows|" + std::string(api);
      bool in_log = false;
      if (depth > 0 && HasCtx() && Ctx().debug) {
        const debug::DebugState& st = *Ctx().debug;
        // Appending to the log file: the in-memory log is ahead of the file while it runs.
        in_log = !st.file.folder.empty() && !st.file.given_up && st.file.written < st.log_used;
        sites.Update(st.procs);
        started = started || sites.Entered(u"AppMainSub");
        if (in_log) {
          if (!was_in_log) log_calls.clear();
          site = "log|" + std::string(api) + "#" + std::to_string(++log_calls[api]);
        } else {
          site = sites.Site(api);
        }
      }
      was_in_log = in_log;
      out.gates.emplace_back(api);
      out.sites.push_back(std::move(site));
      out.log_sink.push_back(in_log);
      out.startup.push_back(depth > 0 && !started);
      out.run_of_gate.push_back(depth > 0 ? out.program_runs : 0);
    }
    if (record && !dead) {
      if (changed) digest = Digest(m);
      out.digest_at_gate.push_back(digest);
      changed = !LeavesStateAlone(api);
    }
    if (run.cut_at != 0 && gate >= run.cut_at) dead = true;
    if (!dead) return;
    // The simulated security calls hand out memory of this test process; a killed program
    // would leak it, so the power goes at the next call at which the program holds none (those
    // calls only read, so the state is the same).
    if (std::uncaught_exceptions() > 0 || CalledWhileClosing(api) ||
        m.security_allocations > allocations_before) {
      out.after_cut.emplace_back(api);
      return;
    }
    out.after_cut.emplace_back(api);
    ++out.kills;
    if (depth > 0) throw platform::ProcessExit{kKilled};
    out.killed_outside_program = true;
    throw PowerCut{};
  };

  auto start_program = [&](const std::u16string& command_line) {
    changed = true;  // a restart changes the machine between the programs it starts
    started = false;
    sites = CallSites();
    ++out.program_runs;
    ++depth;
    try {
      RunProgram(m, command_line);
    } catch (const platform::ProcessExit&) {
      // The end of the process: ExitProcess, or the power.
    }
    --depth;
    if (dead) throw PowerCut{};
  };

  try {
    if (step.kind == Step::Kind::kRestart) {
      m.run_kestrune = [&](sim::Machine&, const std::u16string& command_line) {
        start_program(command_line);
      };
      sim::Restart(m);
    } else {
      const std::u16string args = step.kind == Step::Kind::kSwitch ? u" " + step.args : u"";
      start_program(u"\"" + std::u16string(kProgram) + u"\"" + args);
    }
  } catch (const PowerCut&) {
  }
  out.cut = dead;
  out.boxes = m.message_boxes;
  Settle(m, program_pid);
  // A failure the run did not reach would hit a later run on this machine: use it up.
  while (run.fault && m.CallCount(run.fault->api) < fault_at) m.Gate(run.fault->api.c_str());
  return out;
}

std::string Describe(const std::vector<Step>& steps, const StepRun& run) {
  std::string s = steps.at(static_cast<std::size_t>(run.step)).label;
  if (!run.answers.empty()) {
    s += " [answers:";
    for (int a : run.answers) {
      s += a == platform::kIDYES      ? " Yes"
           : a == platform::kIDNO     ? " No"
           : a == platform::kIDCANCEL ? " Cancel"
           : a == platform::kIDOK     ? " OK"
                                      : " " + std::to_string(a);
    }
    s += "]";
  }
  if (run.fault)
    s += " [failing: " + run.fault->api + " #" + std::to_string(run.fault->nth) + " with " +
         std::to_string(run.fault->error) + "]";
  if (run.cut_at) s += " [power cut at call " + std::to_string(run.cut_at) + "]";
  return s;
}

}  // namespace kes::lifecycle_model
