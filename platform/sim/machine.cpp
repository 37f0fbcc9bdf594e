#include "platform/sim/machine.h"

#include <iterator>
#include <utility>

#include "platform/base/u16.h"
#include "platform/sim/bcd_store.h"
#include "platform/sim/calendar.h"
#include "platform/sim/file_system.h"
#include "platform/sim/registry_store.h"

namespace kes::sim {
namespace {

constexpr DWORD kExplorerPid = 3120;
constexpr DWORD kProgramPid = 5124;

// Exports probed at start-up, plus the neighbours a real module has, so that a probe for an
// entry point that does not exist still fails with 127 rather than 126.
std::map<std::u16string, std::vector<std::string>> DefaultLibraries() {
  return {
      {u"kernel32.dll",
       {"IsWow64Process", "QueryFullProcessImageNameW", "GetFileInformationByHandleEx",
        "Wow64DisableWow64FsRedirection", "Wow64RevertWow64FsRedirection", "GetProductInfo",
        "GetTimeZoneInformationForYear", "CreateFileW", "CloseHandle", "GetVersionExA",
        "GetVersionExW", "LoadLibraryW", "GetProcAddress"}},
      {u"ntdll.dll", {"RtlGetVersion", "NtClose", "NtQueryInformationProcess"}},
      {u"advapi32.dll",
       {"CheckTokenMembership", "OpenProcessToken", "AdjustTokenPrivileges",
        "LookupPrivilegeValueA", "GetUserNameW", "RegOpenKeyExW"}},
      {u"shell32.dll", {"IsUserAnAdmin", "ShellExecuteW", "ShellExecuteExW", "SHFileOperationW"}},
      {u"user32.dll", {"MessageBoxW", "GetSystemMetrics", "ExitWindowsEx"}},
  };
}

}  // namespace

Machine::Machine() {
  facts.version.dwMajorVersion = 10;
  facts.version.dwMinorVersion = 0;
  facts.version.dwBuildNumber = 19045;
  facts.version.dwPlatformId = 2;    // VER_PLATFORM_WIN32_NT
  facts.version.wSuiteMask = 0x100;  // VER_SUITE_SINGLEUSERTS, as a desktop edition reports
  facts.version.wProductType = 1;    // VER_NT_WORKSTATION
  facts.system_metrics[platform::kSM_CYMENU] = 20;

  const std::pair<const char16_t*, const char16_t*> env[] = {
      {u"ALLUSERSPROFILE", u"C:\\ProgramData"},
      {u"APPDATA", u"C:\\Users\\Admin\\AppData\\Roaming"},
      {u"CommonProgramFiles", u"C:\\Program Files (x86)\\Common Files"},
      {u"CommonProgramFiles(x86)", u"C:\\Program Files (x86)\\Common Files"},
      {u"CommonProgramW6432", u"C:\\Program Files\\Common Files"},
      {u"COMPUTERNAME", u"KES-PC"},
      {u"ComSpec", u"C:\\Windows\\system32\\cmd.exe"},
      {u"HOMEDRIVE", u"C:"},
      {u"HOMEPATH", u"\\Users\\Admin"},
      {u"LOCALAPPDATA", u"C:\\Users\\Admin\\AppData\\Local"},
      {u"NUMBER_OF_PROCESSORS", u"4"},
      {u"OS", u"Windows_NT"},
      {u"Path", u"C:\\Windows\\system32;C:\\Windows;C:\\Windows\\System32\\Wbem"},
      {u"PATHEXT", u".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC"},
      {u"PROCESSOR_ARCHITECTURE", u"x86"},
      {u"PROCESSOR_ARCHITEW6432", u"AMD64"},
      {u"ProgramData", u"C:\\ProgramData"},
      {u"ProgramFiles", u"C:\\Program Files (x86)"},
      {u"ProgramFiles(x86)", u"C:\\Program Files (x86)"},
      {u"ProgramW6432", u"C:\\Program Files"},
      {u"PUBLIC", u"C:\\Users\\Public"},
      {u"SystemDrive", u"C:"},
      {u"SystemRoot", u"C:\\Windows"},
      {u"TEMP", u"C:\\Users\\Admin\\AppData\\Local\\Temp"},
      {u"TMP", u"C:\\Users\\Admin\\AppData\\Local\\Temp"},
      {u"USERDOMAIN", u"KES-PC"},
      {u"USERNAME", u"Admin"},
      {u"USERPROFILE", u"C:\\Users\\Admin"},
      {u"windir", u"C:\\Windows"},
  };
  for (const auto& [name, value] : env) SetEnv(name, value);

  // What a tool-help snapshot of Windows lists first: the idle process (ID 0) and System (4),
  // the session's protected csrss.exe, the service control manager, and the shell, whose own
  // parent has long gone.
  const std::pair<DWORD, DWORD> kSessionIds[] = {
      {0, 0}, {4, 0}, {548, 536}, {624, 536}, {740, 624}};
  const char16_t* const kSessionImages[] = {
      u"[System Process]", u"System", u"C:\\Windows\\System32\\csrss.exe",
      u"C:\\Windows\\System32\\wininit.exe", u"C:\\Windows\\System32\\services.exe"};
  for (std::size_t i = 0; i < std::size(kSessionIds); ++i) {
    SimProcess p{kSessionIds[i].first, kSessionIds[i].second, kSessionImages[i], u"", std::nullopt};
    p.is_32bit = false;
    p.protected_process = i == 1 || i == 2;
    processes.push_back(std::move(p));
  }
  processes.push_back({kExplorerPid, 3088, u"C:\\Windows\\explorer.exe",
                       u"C:\\Windows\\Explorer.EXE", std::nullopt});
  processes.back().is_32bit = false;
  processes.push_back({kProgramPid, kExplorerPid, u"C:\\Tools\\Kestrune.exe",
                       u"\"C:\\Tools\\Kestrune.exe\"", std::nullopt});
  current_pid = kProgramPid;

  libraries = DefaultLibraries();
  version_resources[u"c:\\tools\\kestrune.exe"] = {
      {u"Comments", u""},
      {u"CompanyName", u"Quorlen"},
      {u"FileDescription", u"Kestrune"},
      {u"FileVersion", u"1.0.0.0"},
      {u"InternalName", u"Kestrune"},
      {u"OriginalFilename", u"Kestrune.exe"},
      {u"ProductName", u"Kestrune"},
      {u"ProductVersion", u"1.0.0.0"},
  };

  SetLocalTime(2016, 3, 1, 14, 30, 5, 123);

  // The stores read the facts, names and clock above while they lay out the default
  // installation, so they come after them.
  fs_ = std::make_unique<FileSystem>(*this);
  registry_store_ = std::make_unique<RegistryStore>(*this);
  bcd_store_ = std::make_unique<BcdStore>();

  system_ = MakeSimSystem(*this);
  ui_ = MakeSimUi(*this);
  forms_ = MakeSimForms(*this);
  registry_ = MakeSimRegistry(*this);
  files_ = MakeSimFiles(*this);
  processes_api_ = MakeSimProcesses(*this);
  security_ = MakeSimSecurity(*this);
  platform_ = std::make_unique<platform::Platform>(platform::Platform{
      *system_, *ui_, *forms_, *registry_, *files_, *processes_api_, *security_});
}

Machine::~Machine() = default;

void Machine::InjectFault(std::string api, DWORD error, int nth) {
  faults_.push_back({std::move(api), error, nth});
}

std::optional<DWORD> Machine::Gate(const char* api) {
  const int count = ++call_counts_[api];
  std::optional<DWORD> result;
  for (const auto& f : faults_) {
    if (f.api == api && (f.nth == 0 || f.nth == count)) {
      result = f.error;
      break;
    }
  }
  if (after_call) after_call(api);
  return result;
}

int Machine::CallCount(const std::string& api) const {
  auto it = call_counts_.find(api);
  return it == call_counts_.end() ? 0 : it->second;
}

platform::HANDLE Machine::AddHandle(std::shared_ptr<KernelObject> object) {
  const platform::HANDLE h = next_handle_;
  next_handle_ += 4;  // kernel handles are multiples of four
  handles_.emplace(h, std::move(object));
  return h;
}

bool Machine::RemoveHandle(platform::HANDLE h) {
  return handles_.erase(h) != 0;
}

void Machine::SetEnv(std::u16string name, std::u16string value) {
  // Windows keeps the spelling of the first definition and matches names without case.
  for (auto& [key, v] : environment) {
    if (EqualsNoCase(key, name)) {
      v = std::move(value);
      return;
    }
  }
  environment.emplace(std::move(name), std::move(value));
}

std::optional<std::u16string> Machine::GetEnv(std::u16string_view name) const {
  // Windows sets these per process from what the process and the machine are.
  const bool wow64 = facts.is_64bit && facts.process_is_32bit;
  if (EqualsNoCase(name, u"PROCESSOR_ARCHITEW6432")) {
    if (!wow64) return std::nullopt;
  } else if (EqualsNoCase(name, u"PROCESSOR_ARCHITECTURE")) {
    return facts.is_64bit && !facts.process_is_32bit ? u"AMD64" : u"x86";
  }
  for (const auto& [key, v] : environment)
    if (EqualsNoCase(key, name)) return v;
  return std::nullopt;
}

SimProcess& Machine::CurrentProcess() {
  for (auto& p : processes)
    if (p.pid == current_pid) return p;
  // A test removed the program's record: put a fresh one back rather than fail.
  processes.push_back({current_pid, kExplorerPid, u"C:\\Tools\\Kestrune.exe",
                       u"\"C:\\Tools\\Kestrune.exe\"", std::nullopt});
  return processes.back();
}

void Machine::SetProgramCommandLine(std::u16string command_line) {
  SimProcess& p = CurrentProcess();
  // As CreateProcessW takes it: a command line ends at its first NUL.
  command_line.resize(std::min(command_line.size(), command_line.find(u'\0')));
  p.command_line = std::move(command_line);
  p.exit_code.reset();
}

void Machine::SetLocalTime(int year, int month, int day, int hour, int minute, int second, int ms) {
  local_ms = DaysFrom1601(year, month, day) * kMsPerDay +
             ((hour * 60LL + minute) * 60 + second) * 1000 + ms;
}

void Machine::Advance(std::uint32_t ms) {
  local_ms += ms;
  tick_ms += ms;
}

}  // namespace kes::sim
